#pragma once

namespace kelvo::viewer {

// The steps the viewer takes when its interface comes up and when its video
// window closes, each the controller's or the window's own. The start-up
// order is the application's business (app/ViewerLifecycle); the controller
// provides the steps.
// Thread: main thread.
class ViewerLifecycleSteps {
public:
    virtual ~ViewerLifecycleSteps() = default;

    // Start-up.
    virtual void loadPreferences() = 0;
    // Stacks the overlays and shapes the on-screen panels.
    virtual void prepareVideoWindow() = 0;
    virtual void refreshDevices() = 0;
    // Shows the video window, in front only while the viewer is the active
    // application.
    virtual void bringVideoWindowForward() = 0;
    virtual void initializeVideoCapture() = 0;
    virtual bool userHasSetPreferences() const = 0;
    virtual void setUserHasSetPreferences(bool value) = 0;
    virtual void savePreferences() = 0;
    virtual void showPreferencesWindow() = 0;
    virtual void checkForUpdates() = 0;

    // Closing the video window.
    virtual void stopAudioLevelTimer() = 0;
    virtual void stopCaptureSession() = 0;
    virtual void detachMovieOutputDelegate() = 0;
    virtual void removeNotificationObservers() = 0;
    virtual void cleanupVideoCapture() = 0;
    virtual void setLineMarkerMenuEnabled(bool enabled) = 0;
};

// Stops the meter, the capture and its observers, and takes the camera's
// menus out of use, in that order: what closing the video window does, and
// what the firmware update does when it puts the video window away.
void runClosing(ViewerLifecycleSteps &steps);

} // namespace kelvo::viewer
