#pragma once

#include "video/CaptureDevice.h"
#include "video/CaptureNotificationCenter.h"
#include "video/VideoFrame.h"

#include <QSize>
#include <QString>

#include <functional>
#include <optional>
#include <vector>

namespace kelvo::video {

// The platform's capture stack as the capture logic needs it: the device
// lists and one capture session with a video input, an audio input and its
// outputs. The real one runs GStreamer (backend/GstCaptureBackend); tests
// script one.
// Thread: main thread. Notifications and frames are delivered on the main
// thread, after the call that caused them has returned.
class CaptureBackend {
public:
    using FrameHandler = std::function<void(const VideoFrame &)>;

    // How a movie ended. error is empty for a movie stopped as asked; a
    // movie that ended on its own says why, and finishedSuccessfully tells
    // whether the file is still a complete movie.
    struct MovieOutcome {
        QString error;
        bool finishedSuccessfully = true;
    };
    // Runs on the main thread once the movie's file is closed.
    using MovieFinished = std::function<void(const QString &path, const MovieOutcome &outcome)>;

    virtual ~CaptureBackend() = default;

    // Devices of one media type, in the platform's order.
    virtual std::vector<CaptureDevice> devices(CaptureMediaType type) const = 0;
    // The system's default audio input, or none.
    virtual std::optional<CaptureDevice> defaultAudioDevice() const = 0;

    // Connect, disconnect and session notifications.
    virtual CaptureNotificationCenter &notificationCenter() = 0;

    // Discards any earlier session (stopped, without notifications) and makes
    // a new, empty, stopped one.
    virtual CaptureSessionId createSession() = 0;
    virtual CaptureSessionId currentSession() const = 0;

    // Input changes between begin and commit take effect together at the
    // commit; the calls nest. Without a session the inputs are only noted.
    virtual void beginConfiguration() = 0;
    virtual void commitConfiguration() = 0;
    // Sets or (with nullptr) removes the video input. A device that cannot be
    // opened leaves no input and returns false with a message for the user.
    virtual bool setVideoInput(const CaptureDevice *device, QString *error) = 0;
    virtual bool setAudioInput(const CaptureDevice *device, QString *error) = 0;

    // The movie file output, the audio preview output (volume 0.0 at set-up)
    // and the video data output, which delivers every frame to the handler.
    virtual void addOutputs(FrameHandler frameHandler) = 0;
    virtual void removeOutputs() = 0;

    virtual void startRunning() = 0;
    virtual void stopRunning() = 0;
    virtual bool isRunning() const = 0;

    // Sound played to the user (the audio preview output), 0.0..1.0.
    virtual double previewVolume() const = 0;
    virtual void setPreviewVolume(double volume) = 0;
    // Gain of every audio channel of every output (recording and preview
    // alike); 0.0 mutes.
    virtual double audioGain() const = 0;
    virtual void setAudioGain(double gain) = 0;
    // Average power of each audio channel in dB, as last measured (every
    // 0.1 s); empty without sound.
    virtual std::vector<float> audioChannelPowerLevels() const = 0;

    // Records the running session's picture and sound into path as a
    // QuickTime movie, turned to the viewer's orientation (1..4). False with
    // a message when it cannot start; finished then never runs.
    virtual bool startRecording(const QString &path, int orientation, MovieFinished finished, QString *error) = 0;
    // Ends the movie; finished follows once the file is closed.
    virtual void stopRecording() = 0;
    virtual bool isRecording() const = 0;

    // Whether the viewer needs the picture now. While it does not (a frozen
    // or unseen picture) the video input may rest; a movie being recorded
    // keeps it going regardless. The sound is not affected.
    virtual void setVideoFramesWanted(bool wanted) = 0;

    // Size of the picture the video input delivers (its active format's clean
    // aperture); empty without a video input.
    virtual QSize activeVideoDimensions() const = 0;
};

} // namespace kelvo::video
