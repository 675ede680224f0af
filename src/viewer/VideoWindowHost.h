#pragma once

#include <QSizeF>

namespace kelvo::viewer {

// What the video window's placement needs from the viewer controller: the
// picture's size, and the controller's own steps that resizing and
// full-screen changes run.
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

    // Asked again for a picture size the camera has not reported yet.
    virtual void refreshDevices() = 0;

    // While the window is in use.
    virtual void savePreferences() = 0;
    // Rebuilds the picture for the window's new size.
    virtual void setImageFilters() = 0;
    virtual void beep() = 0;
    virtual void showHideOnScreenDisplay() = 0;
    virtual void hideOnScreenDisplay() = 0;
    // Full screen was reached (true) or left (false).
    virtual void fullScreenDidChange(bool isFullScreen) = 0;
};

} // namespace kelvo::viewer
