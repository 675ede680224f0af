#pragma once

#include <QHash>
#include <QObject>
#include <functional>

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

// The application's menu bar, built in code. Each item names the action it
// sends (for example "zoomCameraIn:"); objects that implement actions
// register handlers here. As with a responder chain, an item whose action
// nobody handles is disabled, and a registered validator may disable more.
// Thread: main thread only.
class MainMenu : public QObject {
    Q_OBJECT
public:
    using Handler = std::function<void(QAction *sender)>;
    using Validator = std::function<bool(QAction *item)>;

    // Fills menuBar with every menu and item of the viewer.
    explicit MainMenu(QMenuBar *menuBar, QObject *parent = nullptr);

    QMenuBar *menuBar() const { return m_menuBar; }

    // Makes `handler` receive the items whose action is `actionName`.
    void setHandler(const QString &actionName, Handler handler);
    bool hasHandler(const QString &actionName) const { return m_handlers.contains(actionName); }
    // Decides, in addition to having a handler, whether an item is enabled.
    void setValidator(Validator validator) { m_validator = std::move(validator); }

    // Sends an item's action to its handler; answers false when none is
    // registered or the item is disabled.
    bool trigger(QAction *item);
    // Re-evaluates the enabled state of every item of menu (and its submenus).
    void validateMenu(QMenu *menu);
    // Re-evaluates every menu of the bar.
    void validateAll();

    // Builds an item that sends actionName, for menus that are rebuilt at run
    // time (device lists, colour modes).
    QAction *addItem(QMenu *menu, const QString &title, const QString &actionName, int tag);

    // Shows the internal menu, which is hidden unless internal features are on.
    void setInternalMenuVisible(bool visible);

    // The device command names used for the internal menu's items, by number.
    static const char *commandName(int command);

private:
    void connectItem(QAction *item);
    bool isItemEnabled(QAction *item) const;

    QMenuBar *m_menuBar;
    QHash<QString, Handler> m_handlers;
    Validator m_validator;
};

} // namespace kelvo::ui
