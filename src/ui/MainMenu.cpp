#include "ui/MainMenu.h"

#include "common/Localization.h"
#include "ui/MenuTags.h"

#include <QAction>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>

#include <algorithm>

namespace kelvo::ui {
namespace {

// Menus whose items are enabled by their owner rather than by validation.
constexpr const char *kManualEnablingProperty = "manualEnabling";
constexpr int kNoTag = 0x7fffffff;

struct ItemEntry {
    const char *title;
    const char *action; // null for an item that only opens a submenu or a separator
    int tag = kNoTag;
    QList<QKeySequence> keys = {};
    bool checkable = false;
};

constexpr const char *kCommandNames[] = {
    "Freeze",
    "Unfreeze",
    "A2",
    "C0",
    "CD",
    "A8",
    "B1 01 02",
    "B1 01 01",
    "C5",
    "C4",
    "C7",
    "C6",
    "Color Normal",
    "Color Cool",
    "Color Warm",
    "Toggle Light",
    "Zoom 1",
    "Zoom 2",
    "Zoom 3",
    "Zoom 4",
    "Zoom 5",
    "Zoom 6",
    "Zoom 7",
    "Zoom 8",
    "Power Up",
    "Power Down Sequence",
    "Power Down",
    "A8 Again",
    "A2 Again",
    "Get Firmware Version",
    "Get Boot Firmware Version",
    "Get Device Serial Number",
    "Get Board Serial Number",
    "Burst",
};

QKeySequence ctrl(int key)
{
    return QKeySequence(Qt::CTRL | key);
}

} // namespace

const char *MainMenu::commandName(int command)
{
    constexpr int count = static_cast<int>(sizeof kCommandNames / sizeof kCommandNames[0]);
    return command >= 0 && command < count ? kCommandNames[command] : "";
}

MainMenu::MainMenu(QMenuBar *menuBar, QObject *parent) : QObject(parent), m_menuBar(menuBar)
{
    auto addMenu = [&](const char *title, int tag) {
        QMenu *menu = m_menuBar->addMenu(localized(title));
        if (tag != kNoTag)
            setTag(menu->menuAction(), tag);
        return menu;
    };
    auto addItems = [&](QMenu *menu, std::initializer_list<ItemEntry> items) {
        for (const ItemEntry &entry : items) {
            if (!entry.title) {
                menu->addSeparator();
                continue;
            }
            QAction *item =
                addItem(menu, localized(entry.title), QString::fromLatin1(entry.action ? entry.action : ""), entry.tag);
            if (entry.tag == kNoTag)
                item->setProperty(kTagProperty, QVariant());
            item->setShortcuts(entry.keys);
            // Plain keys (F, Space, arrows with Shift) act on the video window
            // only: in a dialog they must still type, tick and press buttons.
            const bool plainKey = std::any_of(entry.keys.begin(), entry.keys.end(), [](const QKeySequence &key) {
                return !(key[0].keyboardModifiers() & (Qt::ControlModifier | Qt::AltModifier));
            });
            if (plainKey)
                item->setShortcutContext(Qt::WindowShortcut);
            item->setCheckable(entry.checkable);
        }
    };
    auto addSubmenu = [&](QMenu *menu, const char *title, int tag) {
        QMenu *submenu = menu->addMenu(localized(title));
        setTag(submenu->menuAction(), tag);
        connect(submenu, &QMenu::aboutToShow, this, [this, submenu] { validateMenu(submenu); });
        return submenu;
    };

    QMenu *application = addMenu("&Kelvo Viewer", kNoTag);
    addItems(application, {
                              {"About Kelvo Viewer", "showAboutWindow:"},
                              {"Preferences...", "showPreferencesWindow:", kNoTag, {ctrl(Qt::Key_Comma)}},
                              {"Check for Updates...", "checkForUpdatesTemporaryMenuItem:"},
                              {nullptr, nullptr},
                              {"Reset to Default Settings...", "factoryReset:"},
                              {nullptr, nullptr},
                              {"Quit Kelvo Viewer", "terminate:", kNoTag, {ctrl(Qt::Key_Q)}},
                          });

    QMenu *camera = addMenu("&Camera", MenuTag::Camera);
    addSubmenu(camera, "Video Source", MenuTag::CameraDevices);
    addItems(
        camera,
        {
            {nullptr, nullptr},
            {"Freeze", "freezeThaw:", MenuTag::Freeze, {QKeySequence(Qt::Key_F), QKeySequence(Qt::Key_Space)}, true},
            {"Save Picture...", "saveFreezeFrame:", kNoTag, {ctrl(Qt::Key_S)}},
            {nullptr, nullptr},
            {"Zoom In", "zoomCameraIn:", kNoTag, {ctrl(Qt::Key_Equal), ctrl(Qt::Key_Plus)}},
            {"Zoom Out", "zoomCameraOut:", kNoTag, {ctrl(Qt::Key_Minus)}},
            {"Locate", "findZoomPosition:", kNoTag, {QKeySequence(Qt::Key_G)}},
            {nullptr, nullptr},
            {"Light", "toggleLight:", MenuTag::Light, {QKeySequence(Qt::Key_L)}, true},
            {"Rotate", "rotateWindowUIAction:", kNoTag, {QKeySequence(Qt::Key_R)}},
            {"Mirror", "mirrorScreenUIAction:", MenuTag::Mirror, {QKeySequence(Qt::Key_M)}, true},
        });
    QMenu *balance = addSubmenu(camera, "Colour Balance", MenuTag::ColourBalance);
    addItems(balance, {
                          {"Normal", "setColorBalance:", MenuTag::ColourBalanceNormal, {}, true},
                          {"Cool", "setColorBalance:", MenuTag::ColourBalanceCool, {}, true},
                          {"Warm", "setColorBalance:", MenuTag::ColourBalanceWarm, {}, true},
                      });
    addItems(camera, {
                         {"Video Deinterlacing", "toggleEnableDeinterlacing:", MenuTag::Deinterlacing, {}, true},
                         {nullptr, nullptr},
                         {"Show Battery Level", "showHideBatteryLevel:", kNoTag, {QKeySequence(Qt::Key_B)}},
                         {"Camera Button Test...", "showDiagnosticsWindow:"},
                     });

    QMenu *audio = addMenu("&Audio", MenuTag::Audio);
    addSubmenu(audio, "Audio Input", MenuTag::AudioDevices);
    addItems(audio, {
                        {"Mute", "muteUnmute:", MenuTag::Mute, {ctrl(Qt::Key_D)}, true},
                        {"Show Audio Level", "showHideAudioLevel:", MenuTag::AudioLevel, {}, true},
                    });

    QMenu *guides = addMenu("&Guides", MenuTag::Guides);
    guides->setProperty(kManualEnablingProperty, true);
    addItems(guides, {
                         {"Horizontal Guides", "toggleHorizontalReadingGuidesMode:", kNoTag, {QKeySequence(Qt::Key_H)}},
                         {"Vertical Guides", "toggleVerticalReadingGuidesMode:", kNoTag, {QKeySequence(Qt::Key_V)}},
                         {nullptr, nullptr},
                     });
    QMenu *lineWidth = addSubmenu(guides, "Line Width", MenuTag::GuideLineWidth);
    addItems(lineWidth, {
                            {"Thin", "setLineWidth:", MenuTag::GuideLineWidthBase + 1, {}, true},
                            {"Medium", "setLineWidth:", MenuTag::GuideLineWidthBase + 2, {}, true},
                            {"Thick", "setLineWidth:", MenuTag::GuideLineWidthBase + 3, {}, true},
                        });
    QMenu *spacing = addSubmenu(guides, "Guide Spacing", MenuTag::GuideSpacing);
    addItems(spacing, {
                          {"Wider", "setLineDistance:", 1, {QKeySequence(Qt::SHIFT | Qt::Key_Up)}},
                          {"Narrower", "setLineDistance:", 0, {QKeySequence(Qt::SHIFT | Qt::Key_Down)}},
                      });
    QMenu *move = addSubmenu(guides, "Move Guides", MenuTag::GuideMove);
    move->setProperty(kManualEnablingProperty, true);
    addItems(move, {
                       {"Up", "scrollUpwards:", MenuTag::GuideMoveUp, {QKeySequence(Qt::ALT | Qt::Key_Up)}},
                       {"Down", "scrollDownwards:", MenuTag::GuideMoveDown, {QKeySequence(Qt::ALT | Qt::Key_Down)}},
                       {"Left", "scrollUpwards:", MenuTag::GuideMoveLeft, {QKeySequence(Qt::ALT | Qt::Key_Left)}},
                       {"Right", "scrollDownwards:", MenuTag::GuideMoveRight, {QKeySequence(Qt::ALT | Qt::Key_Right)}},
                   });
    addItems(
        guides,
        {
            {"Zoom Buttons Change Spacing", "toggleZoomGuideSpacingMode:", MenuTag::ZoomChangesGuideSpacing, {}, true},
            {"Zoom Buttons Move Guides", "toggleZoomGuidePositionMode:", MenuTag::ZoomScrollsGuides, {}, true},
        });

    QMenu *colour = addMenu("C&olour", MenuTag::Colour);
    addItems(colour, {{"Next Colour Mode", "nextColorMode:", kNoTag, {QKeySequence(Qt::Key_C)}}});
    addSubmenu(colour, "Preferred Colour Modes", MenuTag::PreferredColourModes);
    addSubmenu(colour, "All Colour Modes", MenuTag::AllColourModes);

    QMenu *window = addMenu("&Window", MenuTag::Window);
    addItems(window,
             {
                 {"Show Video Window", "showVideoWindow:", kNoTag, {ctrl(Qt::Key_1)}},
                 {"Close Window", "performClose:", MenuTag::CloseWindow, {ctrl(Qt::Key_W)}},
                 {"Maximize window zoom size", "performZoom:", MenuTag::WindowZoom},
                 {"Full Screen", "enterExitFullScreen:", kNoTag, {QKeySequence(Qt::Key_F11)}},
                 {nullptr, nullptr},
                 {"Dock to Top", "moveWindowToTop:", kNoTag, {QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_Up)}},
                 {"Dock to Bottom", "moveWindowToBottom:", kNoTag, {QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_Down)}},
                 {"Dock to Left", "moveWindowToLeft:", kNoTag, {QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_Left)}},
                 {"Dock to Right", "moveWindowToRight:", kNoTag, {QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_Right)}},
             });

    QMenu *recording = addMenu("&Recording", MenuTag::Recording);
    addItems(recording, {{"Start Recording", "startStopRecording:", MenuTag::StartStopRecording, {ctrl(Qt::Key_E)}}});

    QMenu *internal = addMenu("Internal", MenuTag::Internal);
    for (int command = 0; command <= 33; ++command)
        addItem(internal, QString::fromLatin1(commandName(command)), QStringLiteral("sendHidCommand:"), command);
    internal->menuAction()->setVisible(false);

    QMenu *help = addMenu("&Help", MenuTag::Help);
    addItems(help, {{"Kelvo Viewer Help", "showHelp:", kNoTag, {QKeySequence(Qt::Key_F1)}}});

    for (QAction *top : m_menuBar->actions()) {
        if (QMenu *menu = top->menu())
            connect(menu, &QMenu::aboutToShow, this, [this, menu] { validateMenu(menu); });
    }
    validateAll();
}

QAction *MainMenu::addItem(QMenu *menu, const QString &title, const QString &actionName, int tag)
{
    auto *item = new QAction(title, menu);
    setTag(item, tag);
    item->setProperty(kActionProperty, actionName);
    // Shortcuts act while any window of the viewer is active, as menu key
    // equivalents do.
    item->setShortcutContext(Qt::ApplicationShortcut);
    menu->addAction(item);
    connectItem(item);
    item->setEnabled(isItemEnabled(item) || menu->property(kManualEnablingProperty).toBool());
    return item;
}

void MainMenu::connectItem(QAction *item)
{
    connect(item, &QAction::triggered, this, [this, item] { trigger(item); });
}

void MainMenu::setHandler(const QString &actionName, Handler handler)
{
    m_handlers.insert(actionName, std::move(handler));
    validateAll();
}

bool MainMenu::isItemEnabled(QAction *item) const
{
    const QString action = item->property(kActionProperty).toString();
    if (action.isEmpty() || !m_handlers.contains(action))
        return false;
    return !m_validator || m_validator(item);
}

bool MainMenu::trigger(QAction *item)
{
    if (!item->isEnabled() || !isItemEnabled(item))
        return false;
    const auto handler = m_handlers.value(item->property(kActionProperty).toString());
    handler(item);
    return true;
}

void MainMenu::validateMenu(QMenu *menu)
{
    const bool manual = menu->property(kManualEnablingProperty).toBool();
    for (QAction *item : menu->actions()) {
        if (item->isSeparator())
            continue;
        if (QMenu *submenu = item->menu()) {
            validateMenu(submenu);
            continue;
        }
        if (!manual)
            item->setEnabled(isItemEnabled(item));
    }
}

void MainMenu::validateAll()
{
    for (QAction *top : m_menuBar->actions()) {
        if (QMenu *menu = top->menu())
            validateMenu(menu);
    }
}

void MainMenu::setInternalMenuVisible(bool visible)
{
    if (QAction *internal = findTopLevelItem(m_menuBar, MenuTag::Internal))
        internal->setVisible(visible);
}

} // namespace kelvo::ui
