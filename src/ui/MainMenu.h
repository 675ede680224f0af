#pragma once

#include "ui/MenuCommand.h"
#include "ui/MenuTags.h"

#include <QKeySequence>
#include <QList>
#include <QObject>
#include <QString>
#include <functional>
#include <optional>
#include <vector>

class QAction;
class QMenu;
class QMenuBar;

namespace kelvo::ui {

// The application's menu bar, built in code. Every item is connected, as it
// is built, to the command target's handler for its command, so an item
// cannot exist without one. Whether an item is enabled is the target's
// validation, re-evaluated when a menu opens and whenever the viewer's state
// changes (validateAll). A key whose item is disabled beeps.
// Thread: main thread only.
class MainMenu : public QObject {
    Q_OBJECT
public:
    // Fills menuBar with every menu and item of the viewer.
    MainMenu(QMenuBar *menuBar, MenuCommandTarget &target, QObject *parent = nullptr);
    ~MainMenu() override;

    QMenuBar *menuBar() const { return m_menuBar; }

    // Carries out an item's command as choosing it would; answers false when
    // the item gives no command or is disabled.
    bool trigger(QAction *item);
    // Re-evaluates the enabled state of every item of menu (and its submenus).
    void validateMenu(QMenu *menu);
    // Re-evaluates every menu of the bar.
    void validateAll();

    // Builds an item for a menu that is rebuilt at run time (device lists,
    // colour modes); without a command the item is shown but disabled.
    QAction *addItem(QMenu *menu, const QString &title, std::optional<MenuCommand> command, int tag);

    // Shows the internal menu, which is hidden unless internal features are on.
    void setInternalMenuVisible(bool visible);

    // The device command names used for the internal menu's items, by number.
    static const char *commandName(int command);

    // Where the menu's beep goes: the desktop's bell unless replaced.
    void setBeep(std::function<void()> beep) { m_beep = std::move(beep); }

    // One item that has keys, as the user reads it: menu and item titles
    // without their mnemonic marks.
    struct KeyBinding {
        QString menu;
        QString item;
        QList<QKeySequence> keys;
        MenuCommand command;
    };
    // Every item of the bar that has keys, in menu order.
    std::vector<KeyBinding> keyBindings() const;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void connectItem(QAction *item, MenuCommand command);
    bool isItemEnabled(const QAction *item) const;
    QAction *disabledItemForKey(const QKeySequence &key, bool inVideoWindow) const;

    QMenuBar *m_menuBar;
    MenuCommandTarget &m_target;
    std::function<void()> m_beep;
};

} // namespace kelvo::ui
