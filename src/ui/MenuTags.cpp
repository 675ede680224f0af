#include "ui/MenuTags.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>

namespace kelvo::ui {

int tagOf(const QAction *action)
{
    const QVariant value = action->property(kTagProperty);
    return value.isValid() ? value.toInt() : 0;
}

void setTag(QAction *action, int tag)
{
    action->setProperty(kTagProperty, tag);
}

QAction *findTopLevelItem(QMenuBar *menuBar, int menuTag)
{
    if (!menuBar)
        return nullptr;
    for (QAction *action : menuBar->actions()) {
        if (tagOf(action) == menuTag && action->property(kTagProperty).isValid())
            return action;
    }
    return nullptr;
}

QAction *findItemInMenu(QMenu *menu, int itemTag)
{
    if (!menu)
        return nullptr;
    for (QAction *action : menu->actions()) {
        if (action->property(kTagProperty).isValid() && tagOf(action) == itemTag)
            return action;
    }
    return nullptr;
}

QAction *findMenuItem(QMenuBar *menuBar, int menuTag, int itemTag)
{
    QAction *top = findTopLevelItem(menuBar, menuTag);
    return top ? findItemInMenu(top->menu(), itemTag) : nullptr;
}

} // namespace kelvo::ui
