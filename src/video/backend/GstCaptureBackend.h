#pragma once

#include "video/CaptureBackend.h"
#include "video/CaptureFrameMailbox.h"
#include "video/backend/GstCaptureDeviceMonitor.h"
#include "video/backend/GstCaptureSession.h"

#include <QObject>

#include <memory>
#include <optional>

namespace kelvo::video::backend {

class SimulatedCameraSource;

// CaptureBackend on GStreamer: the device list of GstCaptureDeviceMonitor
// and one GstCaptureSession per capture session. Input changes while the
// session runs rebuild its pipeline. Frames cross to the main thread through
// a mailbox holding only the newest undelivered frame.
// Thread: main thread.
class GstCaptureBackend final : public CaptureBackend {
public:
    struct Options {
        GstCaptureDeviceMonitor::Options devices;
        GstCaptureSession::Options session;
    };

    // Initialises GStreamer if nobody has yet. The sessions make their
    // elements with makeElement.
    explicit GstCaptureBackend(const Options &options = Options{},
                               std::shared_ptr<SimulatedCameraSource> simulatedCamera = nullptr,
                               GstElementFactory makeElement = installedElementFactory());
    ~GstCaptureBackend() override;

    GstCaptureDeviceMonitor &deviceMonitor() { return *m_monitor; }
    // The pipeline's owner while a session exists (tests and benchmarks).
    GstCaptureSession *session() const { return m_session.get(); }
    const CaptureFrameMailbox &frameMailbox() const { return m_mailbox; }

    std::vector<CaptureDevice> devices(CaptureMediaType type) const override;
    std::optional<CaptureDevice> defaultAudioDevice() const override;
    CaptureNotificationCenter &notificationCenter() override { return m_center; }
    CaptureSessionId createSession() override;
    CaptureSessionId currentSession() const override { return m_sessionId; }
    void beginConfiguration() override;
    void commitConfiguration() override;
    bool setVideoInput(const CaptureDevice *device, QString *error) override;
    bool setAudioInput(const CaptureDevice *device, QString *error) override;
    void addOutputs(FrameHandler frameHandler) override;
    void removeOutputs() override;
    void startRunning() override;
    void stopRunning() override;
    bool isRunning() const override { return m_running; }
    double audioGain() const override { return m_audioGain; }
    void setAudioGain(double gain) override;
    double previewVolume() const override;
    void setPreviewVolume(double volume) override;
    std::vector<float> audioChannelPowerLevels() const override;
    QSize activeVideoDimensions() const override;
    void setVideoFramesWanted(bool wanted) override;
    bool startRecording(const QString &path, int orientation, MovieFinished finished, QString *error) override;
    void stopRecording() override;
    bool isRecording() const override { return m_movie.has_value(); }

private:
    bool validateInput(const CaptureDevice &device, QString *error) const;
    void applyInputs();
    void startSession();
    void postLater(CaptureNotificationInfo info);
    void movieClosed(const QString &error);

    QObject m_context; // main-thread target of queued notifications
    CaptureNotificationCenter m_center;
    std::unique_ptr<GstCaptureDeviceMonitor> m_monitor;
    GstCaptureSession::Options m_sessionOptions;
    GstElementFactory m_makeElement;
    std::unique_ptr<GstCaptureSession> m_session;
    CaptureSessionId m_sessionId = kAnySession;
    CaptureSessionId m_lastSessionId = kAnySession;
    int m_configurationDepth = 0;
    bool m_inputsChanged = false;
    std::optional<CaptureDevice> m_videoInput;
    std::optional<CaptureDevice> m_audioInput;
    FrameHandler m_frameHandler;
    CaptureFrameMailbox m_mailbox;
    double m_previewVolume = 0.0;
    double m_audioGain = 1.0;
    bool m_videoWanted = true;
    bool m_running = false;
    // The movie being written; it outlives a rebuild of the pipeline only
    // until that rebuild closes it.
    struct Movie {
        QString path;
        MovieFinished finished;
        bool stopAsked = false;
        // Why the movie ended when nobody asked it to; empty when it is not
        // known.
        QString endedBecause;
    };
    std::optional<Movie> m_movie;
    // The devices the running pipeline was built with.
    std::string m_playingVideoID;
    std::string m_playingAudioID;
};

} // namespace kelvo::video::backend
