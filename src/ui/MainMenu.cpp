#include "ui/MainMenu.h"

#include "common/Localization.h"
#include "ui/KeyDelivery.h"
#include "ui/MenuTags.h"

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>

#include <algorithm>
#include <functional>
#include <variant>

namespace kelvo::ui {
namespace {

// Menus whose items are enabled by their owner rather than by validation.
constexpr const char *kManualEnablingProperty = "manualEnabling";
constexpr const char *kCommandProperty = "command";
constexpr int kNoTag = 0x7fffffff;

struct ItemEntry {
    const char *title;
    MenuCommand command;
    int tag = kNoTag;
    QList<QKeySequence> keys = {};
    bool checkable = false;
};

// A separator in an item list.
struct Separator {};

constexpr const char *kActionNames[kMenuCommandCount] = {
    "showAboutWindow:",
    "showPreferencesWindow:",
    "checkForUpdatesTemporaryMenuItem:",
    "factoryReset:",
    "terminate:",
    "chooseVideoDevice:",
    "freezeThaw:",
    "saveFreezeFrame:",
    "zoomCameraIn:",
    "zoomCameraOut:",
    "findZoomPosition:",
    "toggleLight:",
    "rotateWindowUIAction:",
    "mirrorScreenUIAction:",
    "setColorBalance:",
    "toggleEnableDeinterlacing:",
    "showHideBatteryLevel:",
    "showDiagnosticsWindow:",
    "chooseAudioDevice:",
    "muteUnmute:",
    "showHideAudioLevel:",
    "toggleHorizontalReadingGuidesMode:",
    "toggleVerticalReadingGuidesMode:",
    "setLineWidth:",
    "setLineDistance:",
    "scrollUpwards:",
    "scrollDownwards:",
    "toggleZoomGuideSpacingMode:",
    "toggleZoomGuidePositionMode:",
    "nextColorMode:",
    "setColorModeFromMenu:",
    "showPreferencesWindowForColorSettings:",
    "showVideoWindow:",
    "performClose:",
    "performZoom:",
    "enterExitFullScreen:",
    "moveWindowToTop:",
    "moveWindowToBottom:",
    "moveWindowToLeft:",
    "moveWindowToRight:",
    "startStopRecording:",
    "sendHidCommand:",
    "showHideOnScreenDisplay:",
    "performMiniaturizeAnyway:",
    "readPageAloud:",
    "copyRecognisedText:",
    "saveRecognisedText:",
    "showHelp:",
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

QKeySequence key(QKeyCombination combination)
{
    return QKeySequence(combination);
}

// Keys that must keep their meaning in dialogs (letters type, Space ticks,
// Shift and Ctrl+Shift with arrows select text) act on the video window
// only; the Ctrl and function keys act in every window of the viewer.
bool videoWindowOnly(const QKeySequence &sequence)
{
    const QKeyCombination combination = sequence[0];
    const Qt::KeyboardModifiers modifiers = combination.keyboardModifiers();
    const bool arrow = combination.key() >= Qt::Key_Left && combination.key() <= Qt::Key_Down;
    if (arrow)
        return true;
    return !(modifiers & (Qt::ControlModifier | Qt::AltModifier)) &&
           !(combination.key() >= Qt::Key_F1 && combination.key() <= Qt::Key_F35);
}

QString withoutMnemonic(QString title)
{
    title.replace(QLatin1String("&&"), QLatin1String("\x01"));
    title.remove(QLatin1Char('&'));
    title.replace(QLatin1Char('\x01'), QLatin1Char('&'));
    return title;
}

} // namespace

const char *actionName(MenuCommand command)
{
    const int index = static_cast<int>(command);
    return index >= 0 && index < kMenuCommandCount ? kActionNames[index] : "";
}

std::optional<MenuCommand> commandOf(const QAction *item)
{
    const QVariant value = item ? item->property(kCommandProperty) : QVariant();
    if (!value.isValid())
        return std::nullopt;
    return static_cast<MenuCommand>(value.toInt());
}

MenuCommandTarget &refusingCommandTarget()
{
    struct Refusing final : MenuCommandTarget {
        void perform(MenuCommand, QAction *) override {}
        bool validate(MenuCommand, const QAction *) const override { return false; }
    };
    static Refusing target;
    return target;
}

const char *MainMenu::commandName(int command)
{
    constexpr int count = static_cast<int>(sizeof kCommandNames / sizeof kCommandNames[0]);
    return command >= 0 && command < count ? kCommandNames[command] : "";
}

MainMenu::MainMenu(QMenuBar *menuBar, MenuCommandTarget &target, QObject *parent)
    : QObject(parent), m_menuBar(menuBar), m_target(target), m_beep([] { QApplication::beep(); })
{
    using C = MenuCommand;
    auto addMenu = [&](const char *title, int tag) {
        QMenu *menu = m_menuBar->addMenu(localized(title));
        if (tag != kNoTag)
            setTag(menu->menuAction(), tag);
        return menu;
    };
    auto addItems = [&](QMenu *menu, std::initializer_list<std::variant<ItemEntry, Separator>> items) {
        for (const auto &element : items) {
            if (std::holds_alternative<Separator>(element)) {
                menu->addSeparator();
                continue;
            }
            const ItemEntry &entry = std::get<ItemEntry>(element);
            QAction *item = addItem(menu, localized(entry.title), entry.command, entry.tag);
            if (entry.tag == kNoTag)
                item->setProperty(kTagProperty, QVariant());
            item->setShortcuts(entry.keys);
            if (std::any_of(entry.keys.begin(), entry.keys.end(), videoWindowOnly))
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
    const Separator separator;

    QMenu *application = addMenu("&Kelvo Viewer", kNoTag);
    addItems(application,
             {
                 ItemEntry{"&About Kelvo Viewer", C::ShowAboutWindow},
                 ItemEntry{"&Preferences...", C::ShowPreferencesWindow, kNoTag, {key(Qt::CTRL | Qt::Key_Comma)}},
                 ItemEntry{"Check for &Updates...", C::CheckForUpdates},
                 separator,
                 ItemEntry{"&Reset to Default Settings...", C::FactoryReset},
                 separator,
                 ItemEntry{"&Quit Kelvo Viewer", C::Quit, kNoTag, {key(Qt::CTRL | Qt::Key_Q)}},
             });

    QMenu *camera = addMenu("&Camera", MenuTag::Camera);
    addSubmenu(camera, "&Video Source", MenuTag::CameraDevices);
    addItems(
        camera,
        {
            separator,
            ItemEntry{"&Freeze", C::FreezeThaw, MenuTag::Freeze, {key(Qt::Key_F), key(Qt::Key_Space)}, true},
            ItemEntry{"&Save Picture...", C::SaveFreezeFrame, kNoTag, {key(Qt::CTRL | Qt::Key_S)}},
            separator,
            ItemEntry{"Read Page &Aloud", C::ReadPageAloud, MenuTag::ReadPageAloud, {key(Qt::Key_T)}},
            ItemEntry{"&Copy Text", C::CopyRecognisedText, MenuTag::CopyRecognisedText, {key(Qt::CTRL | Qt::Key_C)}},
            ItemEntry{"Save Te&xt...",
                      C::SaveRecognisedText,
                      MenuTag::SaveRecognisedText,
                      {key(Qt::CTRL | Qt::SHIFT | Qt::Key_T)}},
            separator,
            ItemEntry{
                "Zoom &In", C::ZoomCameraIn, kNoTag, {key(Qt::CTRL | Qt::Key_Equal), key(Qt::CTRL | Qt::Key_Plus)}},
            ItemEntry{"Zoom &Out", C::ZoomCameraOut, kNoTag, {key(Qt::CTRL | Qt::Key_Minus)}},
            ItemEntry{"&Locate", C::FindZoomPosition, kNoTag, {key(Qt::Key_G)}},
            separator,
            ItemEntry{"Li&ght", C::ToggleLight, MenuTag::Light, {key(Qt::Key_L)}, true},
            ItemEntry{"&Rotate", C::Rotate, kNoTag, {key(Qt::Key_R)}},
            ItemEntry{"&Mirror", C::Mirror, MenuTag::Mirror, {key(Qt::Key_M)}, true},
        });
    QMenu *balance = addSubmenu(camera, "Colour &Balance", MenuTag::ColourBalance);
    addItems(balance, {
                          ItemEntry{"&Normal", C::SetColorBalance, MenuTag::ColourBalanceNormal, {}, true},
                          ItemEntry{"&Cool", C::SetColorBalance, MenuTag::ColourBalanceCool, {}, true},
                          ItemEntry{"&Warm", C::SetColorBalance, MenuTag::ColourBalanceWarm, {}, true},
                      });
    addItems(camera, {
                         ItemEntry{"Video &Deinterlacing", C::ToggleDeinterlacing, MenuTag::Deinterlacing, {}, true},
                         separator,
                         ItemEntry{"Show Batter&y Level", C::ShowHideBatteryLevel, kNoTag, {key(Qt::Key_B)}},
                         ItemEntry{"Camera Button &Test...", C::ShowDiagnosticsWindow},
                         ItemEntry{"O&n-Screen Menu", C::ShowOnScreenDisplay, kNoTag, {key(Qt::Key_O)}},
                     });

    QMenu *audio = addMenu("&Audio", MenuTag::Audio);
    addSubmenu(audio, "Audio &Input", MenuTag::AudioDevices);
    addItems(audio, {
                        ItemEntry{"&Mute", C::MuteUnmute, MenuTag::Mute, {key(Qt::CTRL | Qt::Key_D)}, true},
                        ItemEntry{"Show Audio &Level", C::ShowHideAudioLevel, MenuTag::AudioLevel, {}, true},
                    });

    QMenu *guides = addMenu("&Guides", MenuTag::Guides);
    guides->setProperty(kManualEnablingProperty, true);
    addItems(guides, {
                         ItemEntry{"&Horizontal Guides", C::ToggleHorizontalGuides, kNoTag, {key(Qt::Key_H)}},
                         ItemEntry{"&Vertical Guides", C::ToggleVerticalGuides, kNoTag, {key(Qt::Key_V)}},
                         separator,
                     });
    QMenu *lineWidth = addSubmenu(guides, "Line &Width", MenuTag::GuideLineWidth);
    addItems(lineWidth, {
                            ItemEntry{"&Thin", C::SetLineWidth, MenuTag::GuideLineWidthBase + 1, {}, true},
                            ItemEntry{"&Medium", C::SetLineWidth, MenuTag::GuideLineWidthBase + 2, {}, true},
                            ItemEntry{"T&hick", C::SetLineWidth, MenuTag::GuideLineWidthBase + 3, {}, true},
                        });
    QMenu *spacing = addSubmenu(guides, "Guide &Spacing", MenuTag::GuideSpacing);
    addItems(spacing, {
                          ItemEntry{"&Wider", C::SetLineDistance, 1, {key(Qt::SHIFT | Qt::Key_Up)}},
                          ItemEntry{"&Narrower", C::SetLineDistance, 0, {key(Qt::SHIFT | Qt::Key_Down)}},
                      });
    QMenu *move = addSubmenu(guides, "&Move Guides", MenuTag::GuideMove);
    move->setProperty(kManualEnablingProperty, true);
    addItems(move,
             {
                 ItemEntry{"&Up", C::ScrollGuidesUpwards, MenuTag::GuideMoveUp, {key(Qt::ALT | Qt::Key_Up)}},
                 ItemEntry{"&Down", C::ScrollGuidesDownwards, MenuTag::GuideMoveDown, {key(Qt::ALT | Qt::Key_Down)}},
                 ItemEntry{"&Left", C::ScrollGuidesUpwards, MenuTag::GuideMoveLeft, {key(Qt::ALT | Qt::Key_Left)}},
                 ItemEntry{"&Right", C::ScrollGuidesDownwards, MenuTag::GuideMoveRight, {key(Qt::ALT | Qt::Key_Right)}},
             });
    addItems(
        guides,
        {
            ItemEntry{
                "Zoom Buttons Change S&pacing", C::ToggleZoomGuideSpacing, MenuTag::ZoomChangesGuideSpacing, {}, true},
            ItemEntry{"Zoom Buttons Move &Guides", C::ToggleZoomGuidePosition, MenuTag::ZoomScrollsGuides, {}, true},
        });

    QMenu *colour = addMenu("C&olour", MenuTag::Colour);
    addItems(colour, {ItemEntry{"&Next Colour Mode", C::NextColorMode, kNoTag, {key(Qt::Key_C)}}});
    addSubmenu(colour, "&Preferred Colour Modes", MenuTag::PreferredColourModes);
    addSubmenu(colour, "&All Colour Modes", MenuTag::AllColourModes);

    QMenu *window = addMenu("&Window", MenuTag::Window);
    addItems(window,
             {
                 ItemEntry{"&Show Video Window", C::ShowVideoWindow, kNoTag, {key(Qt::CTRL | Qt::Key_1)}},
                 ItemEntry{"&Close Window", C::CloseWindow, MenuTag::CloseWindow, {key(Qt::CTRL | Qt::Key_W)}},
                 ItemEntry{"Maximi&ze window zoom size", C::ZoomWindow, MenuTag::WindowZoom},
                 ItemEntry{"&Minimize", C::MiniaturizeWindow},
                 ItemEntry{"&Full Screen", C::EnterExitFullScreen, kNoTag, {key(Qt::Key_F11)}},
                 separator,
                 ItemEntry{"Dock to &Top", C::DockToTop, kNoTag, {key(Qt::CTRL | Qt::SHIFT | Qt::Key_Up)}},
                 ItemEntry{"Dock to &Bottom", C::DockToBottom, kNoTag, {key(Qt::CTRL | Qt::SHIFT | Qt::Key_Down)}},
                 ItemEntry{"Dock to &Left", C::DockToLeft, kNoTag, {key(Qt::CTRL | Qt::SHIFT | Qt::Key_Left)}},
                 ItemEntry{"Dock to &Right", C::DockToRight, kNoTag, {key(Qt::CTRL | Qt::SHIFT | Qt::Key_Right)}},
             });

    QMenu *recording = addMenu("&Recording", MenuTag::Recording);
    addItems(recording,
             {ItemEntry{
                 "Start &Recording", C::StartStopRecording, MenuTag::StartStopRecording, {key(Qt::CTRL | Qt::Key_E)}}});

    QMenu *internal = addMenu("Internal", MenuTag::Internal);
    for (int command = 0; command <= 33; ++command)
        addItem(internal, QString::fromLatin1(commandName(command)), C::SendDeviceCommand, command);
    internal->menuAction()->setVisible(false);

    QMenu *help = addMenu("&Help", MenuTag::Help);
    addItems(help, {ItemEntry{"Kelvo Viewer &Help", C::ShowHelp, kNoTag, {key(Qt::Key_F1)}}});

    for (QAction *top : m_menuBar->actions()) {
        if (QMenu *menu = top->menu())
            connect(menu, &QMenu::aboutToShow, this, [this, menu] { validateMenu(menu); });
    }
    validateAll();
    qApp->installEventFilter(this);
}

MainMenu::~MainMenu()
{
    qApp->removeEventFilter(this);
}

QAction *MainMenu::addItem(QMenu *menu, const QString &title, std::optional<MenuCommand> command, int tag)
{
    auto *item = new QAction(title, menu);
    setTag(item, tag);
    // Shortcuts act while any window of the viewer is active, as menu key
    // equivalents do.
    item->setShortcutContext(Qt::ApplicationShortcut);
    menu->addAction(item);
    if (command) {
        item->setProperty(kCommandProperty, static_cast<int>(*command));
        connectItem(item, *command);
    }
    item->setEnabled(isItemEnabled(item) || (command && menu->property(kManualEnablingProperty).toBool()));
    return item;
}

void MainMenu::connectItem(QAction *item, MenuCommand command)
{
    connect(item, &QAction::triggered, this, [this, item, command] {
        // The state may have changed since the menu was validated (a key
        // pressed while a camera went away): check again, as choosing it
        // from an open menu would.
        if (!m_target.validate(command, item)) {
            m_beep();
            return;
        }
        m_target.perform(command, item);
    });
}

bool MainMenu::isItemEnabled(const QAction *item) const
{
    const std::optional<MenuCommand> command = commandOf(item);
    return command && m_target.validate(*command, item);
}

bool MainMenu::trigger(QAction *item)
{
    const std::optional<MenuCommand> command = commandOf(item);
    if (!command || !item->isEnabled() || !m_target.validate(*command, item))
        return false;
    m_target.perform(*command, item);
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

std::vector<MainMenu::KeyBinding> MainMenu::keyBindings() const
{
    std::vector<KeyBinding> bindings;
    std::function<void(const QString &, QMenu *)> walk = [&](const QString &menuTitle, QMenu *menu) {
        for (QAction *item : menu->actions()) {
            if (QMenu *submenu = item->menu()) {
                walk(menuTitle, submenu);
                continue;
            }
            const std::optional<MenuCommand> command = commandOf(item);
            if (command && !item->shortcuts().isEmpty())
                bindings.push_back({menuTitle, withoutMnemonic(item->text()), item->shortcuts(), *command});
        }
    };
    for (QAction *top : m_menuBar->actions()) {
        if (top->menu())
            walk(withoutMnemonic(top->text()), top->menu());
    }
    return bindings;
}

QAction *MainMenu::disabledItemForKey(const QKeySequence &pressed, bool inVideoWindow) const
{
    std::function<QAction *(QMenu *)> search = [&](QMenu *menu) -> QAction * {
        for (QAction *item : menu->actions()) {
            if (QMenu *submenu = item->menu()) {
                if (QAction *found = search(submenu))
                    return found;
                continue;
            }
            if (item->isEnabled() && (!menu->menuAction() || menu->menuAction()->isEnabled()))
                continue;
            for (const QKeySequence &sequence : item->shortcuts()) {
                if (sequence.matches(pressed) == QKeySequence::ExactMatch &&
                    (inVideoWindow || !videoWindowOnly(sequence)))
                    return item;
            }
        }
        return nullptr;
    };
    for (QAction *top : m_menuBar->actions()) {
        if (!top->menu() || !top->isVisible())
            continue;
        if (QAction *found = search(top->menu()))
            return found;
    }
    return nullptr;
}

bool MainMenu::eventFilter(QObject *watched, QEvent *event)
{
    // Qt drops the key of a disabled item silently; the user must hear that
    // the key arrived but cannot act now.
    QKeyEvent *keyEvent = keyPressAtFirstReceiver(watched, event);
    if (!keyEvent)
        return QObject::eventFilter(watched, event);
    auto *widget = static_cast<QWidget *>(watched);
    if (keyEvent->key() == Qt::Key_unknown || keyEvent->key() == Qt::Key_Shift || keyEvent->key() == Qt::Key_Control ||
        keyEvent->key() == Qt::Key_Alt || keyEvent->key() == Qt::Key_Meta)
        return QObject::eventFilter(watched, event);
    const Qt::KeyboardModifiers modifiers = keyEvent->modifiers() & ~Qt::KeypadModifier;
    const QKeySequence pressed(QKeyCombination(modifiers, Qt::Key(keyEvent->key())));
    const QKeySequence unshifted(QKeyCombination(modifiers & ~Qt::ShiftModifier, Qt::Key(keyEvent->key())));
    const bool inVideoWindow = widget->window() == m_menuBar->window();
    if (disabledItemForKey(pressed, inVideoWindow) || disabledItemForKey(unshifted, inVideoWindow)) {
        m_beep();
        return true;
    }
    return QObject::eventFilter(watched, event);
}

} // namespace kelvo::ui
