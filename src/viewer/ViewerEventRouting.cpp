#include "viewer/ViewerEventRouting.h"

#include "ui/MainMenu.h"
#include "ui/MenuTags.h"
#include "viewer/MainWindowDelegate.h"
#include "viewer/VideoWindowPlacement.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>

#include <functional>

namespace kelvo::viewer {

ViewerEventRouting::ViewerEventRouting(MainWindowDelegate &controller) : m_controller(controller)
{
    if (auto *application = ui::KelvoViewerApplication::instance())
        application->setEventRoutingTarget(this);
}

ViewerEventRouting::~ViewerEventRouting()
{
    auto *application = ui::KelvoViewerApplication::instance();
    if (application && application->eventRoutingTarget() == this)
        application->setEventRoutingTarget(nullptr);
}

bool ViewerEventRouting::isFullScreen() const
{
    return m_controller.isFullScreen();
}

void ViewerEventRouting::mouseMoved()
{
    if (VideoWindowPlacement *placement = m_controller.placement())
        placement->mouseMoved();
}

void ViewerEventRouting::beginGesture()
{
    m_controller.beginGesture();
}

void ViewerEventRouting::magnify(double magnification)
{
    m_controller.magnify(magnification);
}

void ViewerEventRouting::smartMagnify()
{
    m_controller.smartMagnify();
}

void ViewerEventRouting::rotateGesture(double degrees)
{
    m_controller.rotateGesture(static_cast<float>(degrees));
}

void ViewerEventRouting::endGesture()
{
    m_controller.endGesture();
}

QAction *ViewerEventRouting::helpMenuItem() const
{
    ui::MainMenu *menu = m_controller.mainMenu();
    return menu ? ui::findTopLevelItem(menu->menuBar(), ui::MenuTag::Help) : nullptr;
}

bool ViewerEventRouting::performKeyEquivalent(const QKeySequence &key)
{
    ui::MainMenu *menu = m_controller.mainMenu();
    if (!menu)
        return false;
    menu->validateAll();
    std::function<QAction *(const QList<QAction *> &)> search = [&](const QList<QAction *> &items) -> QAction * {
        for (QAction *item : items) {
            if (QMenu *submenu = item->menu()) {
                if (!item->isEnabled())
                    continue;
                if (QAction *found = search(submenu->actions()))
                    return found;
            } else if (item->isEnabled() && item->shortcuts().contains(key)) {
                return item;
            }
        }
        return nullptr;
    };
    QAction *item = search(menu->menuBar()->actions());
    if (!item)
        return false;
    item->trigger();
    return true;
}

} // namespace kelvo::viewer
