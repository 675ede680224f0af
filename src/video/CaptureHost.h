#pragma once

#include "video/VideoFrame.h"

#include <QRectF>
#include <QString>

namespace kelvo::video {

// What the capture logic asks of the viewer controller and of the device
// link. The viewer controller implements it; the device link calls are
// forwarded to the application delegate.
// Thread: every call arrives on the main thread.
class CaptureHost {
public:
    virtual ~CaptureHost() = default;

    // Device link (application delegate).
    virtual void resetDeviceInfo() = 0;
    virtual void doHIDRescan() = 0;
    virtual void terminateAllUSBThreads() = 0;
    // The stuck-video-device reset after a lost stream; logs
    // "Resetting stuck video device\n".
    virtual void resetStuckVideoDevice() = 0;

    // Viewer state.
    virtual int videoOrientation() const = 0;
    virtual void setVideoOrientation(int orientation) = 0;
    virtual void setQuadrelPhysicalOrientation(int position) = 0;
    virtual void hideBatteryLevelIndicator() = 0;
    virtual void loadPreferences() = 0;
    virtual void savePreferences() = 0;
    virtual void setImageFilters() = 0;

    // Window, menus and views.
    virtual void setWindowAspectRatio() = 0;
    virtual void updateCameraMenu() = 0;
    virtual void updateAudioInputMenu() = 0;
    virtual void updateColorModeMenus() = 0;
    // The deinterlace item (tag 10101010 in the camera menu, tag 42).
    virtual void updateDeinterlaceMenuItem(bool enabled, bool checked) = 0;
    // Bounds of the preview view's layer, in the view's coordinates.
    virtual QRectF previewViewBounds() const = 0;
    // Fits the reading-guide overlay to the preview view and shows it.
    virtual void showReadingGuideOverlay() = 0;
    virtual void clearFreezeFrameView() = 0;
    // The platform's error alert.
    virtual void presentError(const QString &message) = 0;

    // Recording and sound.
    virtual void updateAudioLevels() = 0;
    virtual void stopRecordingIfRecording() = 0;

    // A frame after the capture logic's own handling: the freeze and the
    // deinterlaced live picture work on it.
    virtual void processCapturedFrame(const VideoFrame &frame) = 0;
};

} // namespace kelvo::video
