#pragma once

#include <QSizeF>

namespace kelvo::viewer {

// What the video window's placement needs from the viewer controller: the
// picture's size, and the controller's own steps that the window's start-up,
// full-screen changes and closing run in their fixed order.
// Thread: main thread.
class VideoWindowHost {
public:
    virtual ~VideoWindowHost() = default;

    // The picture as shown: the camera format's clean aperture, with width
    // and height exchanged while the orientation is a quarter turn (3 or 4).
    // Empty while the capture has not reported a size.
    virtual QSizeF videoDimensionsWithRotation() const = 0;
    // Whether a camera is chosen, so that a missing picture size is worth a
    // log line.
    virtual bool hasSelectedCamera() const = 0;

    // Start-up.
    virtual void loadPreferences() = 0;
    virtual void refreshDevices() = 0;
    virtual void initializeVideoCapture() = 0;
    virtual bool userHasSetPreferences() const = 0;
    virtual void setUserHasSetPreferences(bool value) = 0;
    virtual void showPreferencesWindow() = 0;
    virtual void checkForUpdates() = 0;

    // While the window is in use.
    virtual void savePreferences() = 0;
    // Rebuilds the picture for the window's new size.
    virtual void setImageFilters() = 0;
    virtual void beep() = 0;
    virtual void showHideOnScreenDisplay() = 0;
    virtual void hideOnScreenDisplay() = 0;
    // Full screen was reached (true) or left (false).
    virtual void fullScreenDidChange(bool isFullScreen) = 0;

    // Closing, in this order.
    virtual void stopAudioLevelTimer() = 0;
    virtual void stopCaptureSession() = 0;
    virtual void detachMovieOutputDelegate() = 0;
    virtual void removeNotificationObservers() = 0;
    virtual void cleanupVideoCapture() = 0;
    virtual void setLineMarkerMenuEnabled(bool enabled) = 0;
};

} // namespace kelvo::viewer
