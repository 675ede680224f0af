#pragma once

#include <optional>

class QAction;

namespace kelvo::ui {

// Every command a menu item can give. Each item of the menu bar carries
// exactly one; its tag, where it has one, is the command's argument (a
// device index, a colour mode, a camera command number, a guide width).
enum class MenuCommand {
    // Application
    ShowAboutWindow,
    ShowPreferencesWindow,
    CheckForUpdates,
    FactoryReset,
    Quit,
    // Camera
    ChooseVideoDevice,
    FreezeThaw,
    SaveFreezeFrame,
    ZoomCameraIn,
    ZoomCameraOut,
    FindZoomPosition,
    ToggleLight,
    Rotate,
    Mirror,
    SetColorBalance,
    ToggleDeinterlacing,
    ShowHideBatteryLevel,
    ShowDiagnosticsWindow,
    // Audio
    ChooseAudioDevice,
    MuteUnmute,
    ShowHideAudioLevel,
    // Reading guides
    ToggleHorizontalGuides,
    ToggleVerticalGuides,
    SetLineWidth,
    SetLineDistance,
    ScrollGuidesUpwards,
    ScrollGuidesDownwards,
    ToggleZoomGuideSpacing,
    ToggleZoomGuidePosition,
    // Colour
    NextColorMode,
    SetColorModeFromMenu,
    ShowColorPreferences,
    // Window
    ShowVideoWindow,
    CloseWindow,
    ZoomWindow,
    EnterExitFullScreen,
    DockToTop,
    DockToBottom,
    DockToLeft,
    DockToRight,
    // Recording
    StartStopRecording,
    // Internal
    SendDeviceCommand,
    ShowOnScreenDisplay,
    MiniaturizeWindow,
    // Reading the page aloud
    ReadPageAloud,
    CopyRecognisedText,
    SaveRecognisedText,
    // Help
    ShowHelp,
};

inline constexpr int kMenuCommandCount = static_cast<int>(MenuCommand::ShowHelp) + 1;

// The name the command's action goes by in log lines and in the camera
// protocol's vocabulary ("zoomCameraIn:"), for diagnostics and tests.
const char *actionName(MenuCommand command);

// The command an item of the menu bar gives; none for an item that gives
// none ("None" in an empty device list, separators, submenus).
std::optional<MenuCommand> commandOf(const QAction *item);

// What carries the menu bar's commands out. The one implementation lists
// every command in a switch, so a command without a handler does not build.
// Thread: main thread.
class MenuCommandTarget {
public:
    virtual ~MenuCommandTarget() = default;
    // Carries out the command of `item` (whose tag is its argument).
    virtual void perform(MenuCommand command, QAction *item) = 0;
    // Whether the command can act now; a command that cannot is disabled in
    // the menu, and its key only beeps.
    virtual bool validate(MenuCommand command, const QAction *item) const = 0;
};

// A target that can carry out nothing, for windows built without the viewer.
MenuCommandTarget &refusingCommandTarget();

} // namespace kelvo::ui
