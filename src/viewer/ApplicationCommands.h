#pragma once

namespace kelvo::viewer {

// What the viewer's menus ask of the application as a whole rather than of
// the picture: the application delegate carries these out.
// Thread: main thread.
class ApplicationCommands {
public:
    virtual ~ApplicationCommands() = default;
    virtual void showAboutWindow() = 0;
    // Asks the user first.
    virtual void factoryResetWithConfirmation() = 0;
    // Brings the video window back and starts the capture again.
    virtual void showVideoWindow() = 0;
    // Ends the viewer as Quit does: settings saved, camera let go, status 0.
    virtual void quit() = 0;
};

} // namespace kelvo::viewer
