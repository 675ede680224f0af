#pragma once

#include "video/CaptureBackend.h"
#include "video/CaptureDevice.h"
#include "video/CaptureHost.h"
#include "video/CaptureNotificationCenter.h"
#include "video/CapturePreviewLayer.h"
#include "video/CaptureScheduler.h"

#include <QRect>

#include <chrono>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace kelvo::video {

// The viewer's capture graph and its choice of video and audio devices:
// prefers the Quadrel camera, then a camera built into the computer, keeps
// the choice right as devices come and go, and rebuilds the graph after a
// lost stream. The viewer controller owns one and implements its host.
// Thread: main thread only (the backend delivers frames and notifications
// there).
class CaptureController {
public:
    static constexpr std::chrono::milliseconds kQuadrelSetupDelay{6000};
    static constexpr std::chrono::milliseconds kReinitDelay{200};
    static constexpr std::chrono::milliseconds kAudioLevelInterval{100};

    CaptureController(CaptureBackend &backend, CaptureHost &host, CaptureScheduler &scheduler);
    ~CaptureController();
    CaptureController(const CaptureController &) = delete;
    CaptureController &operator=(const CaptureController &) = delete;

    // Builds the graph and starts it; does nothing while running.
    void initializeVideoCapture();
    // Stops and dismantles the graph.
    void cleanupVideoCapture();
    // The window is closing: stops the meter, the session and the observers,
    // then dismantles the graph.
    void windowWillClose();
    // Rebuilds after a lost stream.
    void reinitAfterFailure();

    // Re-enumerates the devices and corrects the selection.
    void refreshDevices();
    // The built-in device of a media type, or none.
    std::optional<CaptureDevice> defaultDeviceWithMediaType(CaptureMediaType type) const;
    // The first video device with exactly this model identifier, or none.
    std::optional<CaptureDevice> deviceWithModelID(const std::string &modelID) const;

    // Schedules setupQuadrelAfterDelayCompletion once, 6.0 s later.
    void setupQuadrelAfterDelay();
    // Switches to the Quadrel camera if it is present.
    void setupQuadrelAfterDelayCompletion();
    bool isQuadrelSetupPending() const { return m_quadrelSetupTimer != CaptureScheduler::kNoTimer; }

    const std::optional<CaptureDevice> &selectedVideoDevice() const { return m_videoDeviceInput; }
    void setSelectedVideoDevice(const std::optional<CaptureDevice> &device);
    const std::optional<CaptureDevice> &selectedAudioDevice() const { return m_audioDeviceInput; }
    void setSelectedAudioDevice(const std::optional<CaptureDevice> &device);
    bool selectedVideoDeviceProvidesAudio() const;

    // Creates (or reuses) and places the preview layer.
    void configurePreviewLayer();
    CapturePreviewLayer *previewLayer() const { return m_previewLayer.get(); }
    // The view that draws the preview layer's frames; kept across rebuilds.
    void setPreviewFrameSink(CapturePreviewLayer::FrameSink sink);

    // Registers the five observers of the session and device notifications.
    void setupAVCaptureNotifications();
    void captureSessionStoppedRunningNotification();
    // Per-frame handler of the video data output.
    void captureOutputDidOutputFrame(const VideoFrame &frame);

    // The picture's rectangle (origin lower left); width and height swapped
    // for the quarter-turn orientations 3 and 4 when asked.
    QRect getVideoDimensionsWithRotation(bool withRotation) const;

    bool enableDeinterlacing() const { return m_enableDeinterlacing; }
    void setEnableDeinterlacing(bool enable);
    void toggleEnableDeinterlacing() { setEnableDeinterlacing(!m_enableDeinterlacing); }
    bool enableDeinterlaceMenuItem() const { return m_enableDeinterlaceMenuItem; }
    void setDeinterlaceMenuItemEnabled(bool enabled);
    // Recording needs a video device.
    bool isRecordMenuItemEnabled() const { return m_videoDeviceInput.has_value(); }

    // Tape transport controls: no Linux capture device has them, so every
    // device answers as one without transport controls.
    bool transportControlsSupported() const { return false; }
    void stop() {}
    bool isFastForwarding() const { return false; }
    void setFastForwarding(bool) {}
    // Always fails: the device cannot be locked for transport configuration.
    bool setTransportMode(int playbackMode, float speed, const CaptureDevice &device);

    bool isRunning() const { return m_running; }
    bool newlyConfigured() const { return m_newlyConfigured; }
    bool previewNeedsResizeCheck() const { return m_previewNeedsResizeCheck; }
    bool isAudioLevelTimerRunning() const { return m_audioLevelTimer != CaptureScheduler::kNoTimer; }
    const std::vector<CaptureDevice> &videoDevices() const { return m_videoDevices; }
    const std::vector<CaptureDevice> &audioDevices() const { return m_audioDevices; }
    // Observers this controller has registered (the five, plus the
    // session-did-stop observer of the build).
    int observerCount() const;

private:
    void removeObservers();
    void readDeviceLists();
    void presentErrorLater(const QString &message);
    bool isQuadrel(const std::optional<CaptureDevice> &device) const;

    CaptureBackend &m_backend;
    CaptureHost &m_host;
    CaptureScheduler &m_scheduler;

    CaptureSessionId m_session = kAnySession;
    std::optional<CaptureDevice> m_videoDeviceInput;
    std::optional<CaptureDevice> m_audioDeviceInput;
    std::unique_ptr<CapturePreviewLayer> m_previewLayer;
    CapturePreviewLayer::FrameSink m_previewSink;
    std::vector<CaptureDevice> m_videoDevices;
    std::vector<CaptureDevice> m_audioDevices;
    std::vector<CaptureNotificationCenter::Token> m_observers;
    std::optional<CaptureNotificationCenter::Token> m_sessionStopObserver;

    CaptureScheduler::TimerId m_audioLevelTimer = CaptureScheduler::kNoTimer;
    CaptureScheduler::TimerId m_quadrelSetupTimer = CaptureScheduler::kNoTimer;
    CaptureScheduler::TimerId m_reinitTimer = CaptureScheduler::kNoTimer;
    std::set<CaptureScheduler::TimerId> m_errorPresentations;

    bool m_running = false;
    bool m_newlyConfigured = false;
    bool m_previewNeedsResizeCheck = false;
    bool m_enableDeinterlacing = false;
    bool m_enableDeinterlaceMenuItem = false;
};

} // namespace kelvo::video
