#pragma once

#include "ui/MenuCommand.h"

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

// Tags of the menus and items that code looks up. Titles and key equivalents
// are free; these numbers are what the rest of the viewer relies on.
namespace MenuTag {
inline constexpr int Camera = 42;
inline constexpr int CameraDevices = 42;
inline constexpr int Freeze = 32;
inline constexpr int Light = 888;
inline constexpr int Mirror = 20105;
inline constexpr int ColourBalance = 13150405;
inline constexpr int ColourBalanceNormal = 700;
inline constexpr int ColourBalanceCool = 701;
inline constexpr int ColourBalanceWarm = 702;
inline constexpr int Deinterlacing = 10101010;
inline constexpr int Audio = 36;
inline constexpr int AudioDevices = 36;
inline constexpr int Mute = 88;
inline constexpr int AudioLevel = 13;
inline constexpr int Guides = 300;
inline constexpr int GuideLineWidth = 303;
inline constexpr int GuideLineWidthBase = 400; // items 401..403
inline constexpr int GuideSpacing = 304;
inline constexpr int GuideMove = 305;
inline constexpr int GuideMoveUp = 701;
inline constexpr int GuideMoveDown = 702;
inline constexpr int GuideMoveLeft = 703;
inline constexpr int GuideMoveRight = 704;
inline constexpr int ZoomChangesGuideSpacing = 306;
inline constexpr int ZoomScrollsGuides = 307;
inline constexpr int Colour = 1000;
inline constexpr int PreferredColourModes = 1000;
inline constexpr int AllColourModes = 1001;
inline constexpr int Window = 95;
inline constexpr int WindowZoom = 65535;
inline constexpr int CloseWindow = 109;
inline constexpr int Recording = 100;
inline constexpr int StartStopRecording = 110;
inline constexpr int Help = 505;
inline constexpr int Internal = -101;
} // namespace MenuTag

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
