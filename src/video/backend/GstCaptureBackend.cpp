#include "video/backend/GstCaptureBackend.h"

#include "video/backend/SimulatedCameraSource.h"

#include <gst/gst.h>

#include <QMetaObject>

namespace kelvo::video::backend {

GstCaptureBackend::GstCaptureBackend(const Options &options, std::shared_ptr<SimulatedCameraSource> simulatedCamera,
                                     GstElementFactory makeElement)
    : m_sessionOptions(options.session), m_makeElement(std::move(makeElement)),
      m_mailbox([this](const VideoFrame &frame) {
          if (m_frameHandler)
              m_frameHandler(frame);
      })
{
    if (!gst_is_initialized())
        gst_init(nullptr, nullptr);
    m_monitor = std::make_unique<GstCaptureDeviceMonitor>(options.devices, [this](bool connected, bool disconnected) {
        // The list changed on the main thread already; observers hear it
        // after the current call returns, as with any notification.
        if (disconnected)
            postLater({CaptureNotification::DeviceWasDisconnected, kAnySession, {}});
        if (connected)
            postLater({CaptureNotification::DeviceWasConnected, kAnySession, {}});
    });
    if (simulatedCamera)
        m_monitor->setSimulatedCamera(std::move(simulatedCamera));
}

GstCaptureBackend::~GstCaptureBackend()
{
    m_frameHandler = nullptr;
    m_session.reset();
    m_monitor.reset();
}

std::vector<CaptureDevice> GstCaptureBackend::devices(CaptureMediaType type) const
{
    return m_monitor->devices(type);
}

std::optional<CaptureDevice> GstCaptureBackend::defaultAudioDevice() const
{
    return m_monitor->defaultAudioDevice();
}

CaptureSessionId GstCaptureBackend::createSession()
{
    m_session.reset();
    m_running = false;
    m_videoInput.reset();
    m_audioInput.reset();
    m_frameHandler = nullptr;
    m_inputsChanged = false;
    m_sessionId = ++m_lastSessionId;
    const CaptureSessionId id = m_sessionId;
    GstCaptureSession::Callbacks callbacks;
    callbacks.onError = [this, id](const QString &message) {
        postLater({CaptureNotification::RuntimeError, id, message});
    };
    callbacks.onStarted = [this, id] { postLater({CaptureNotification::DidStartRunning, id, {}}); };
    callbacks.onFrame = [this](const VideoFrame &frame) { m_mailbox.post(frame); };
    callbacks.onRecordingFinished = [this](const QString &error) {
        QMetaObject::invokeMethod(
            &m_context, [this, error] { movieClosed(error); }, Qt::QueuedConnection);
    };
    m_session = std::make_unique<GstCaptureSession>(m_sessionOptions, std::move(callbacks), m_makeElement);
    m_session->setFrameOutputEnabled(false);
    m_session->setPreviewVolume(m_previewVolume);
    m_session->setAudioGain(m_audioGain);
    m_session->setVideoWanted(m_videoWanted);
    return id;
}

void GstCaptureBackend::beginConfiguration()
{
    ++m_configurationDepth;
}

void GstCaptureBackend::commitConfiguration()
{
    if (m_configurationDepth > 0)
        --m_configurationDepth;
    applyInputs();
}

bool GstCaptureBackend::validateInput(const CaptureDevice &device, QString *error) const
{
    const GstObjectPtr<GstElement> element = m_monitor->createSourceElement(device, error);
    if (!element)
        return false;
    // The running pipeline holds this device open already; a second open of
    // an exclusive device (an ALSA microphone) would fail for that alone.
    if (m_running && (device.uniqueID == m_playingVideoID || device.uniqueID == m_playingAudioID))
        return true;
    // Opening the device now (sources open in READY or, like a file source,
    // in PAUSED) reports a busy, forbidden or missing device at once, instead
    // of as a lost stream after the session starts.
    const bool opens = gst_element_set_state(element.get(), GST_STATE_PAUSED) != GST_STATE_CHANGE_FAILURE;
    gst_element_set_state(element.get(), GST_STATE_NULL);
    if (!opens && error)
        *error = QStringLiteral("%1: the device could not be opened.").arg(device.localizedName);
    return opens;
}

bool GstCaptureBackend::setVideoInput(const CaptureDevice *device, QString *error)
{
    m_inputsChanged = true;
    m_videoInput.reset();
    if (device && validateInput(*device, error))
        m_videoInput = *device;
    applyInputs();
    return !device || m_videoInput.has_value();
}

bool GstCaptureBackend::setAudioInput(const CaptureDevice *device, QString *error)
{
    m_inputsChanged = true;
    m_audioInput.reset();
    if (device && validateInput(*device, error))
        m_audioInput = *device;
    applyInputs();
    return !device || m_audioInput.has_value();
}

void GstCaptureBackend::applyInputs()
{
    if (m_configurationDepth > 0 || !m_inputsChanged || !m_session)
        return;
    m_inputsChanged = false;
    auto factory = [this](const std::optional<CaptureDevice> &device) -> GstCaptureSession::SourceFactory {
        if (!device)
            return nullptr;
        return [this, d = *device](QString *error) { return m_monitor->createSourceElement(d, error); };
    };
    m_session->setVideoSource(factory(m_videoInput));
    m_session->setAudioSource(factory(m_audioInput));
    if (m_running && m_movie && !m_movie->stopAsked) {
        // The rebuild closes the movie; the user learns which input it lost.
        const std::string video = m_videoInput ? m_videoInput->uniqueID : std::string();
        const std::string audio = m_audioInput ? m_audioInput->uniqueID : std::string();
        if (video != m_playingVideoID)
            m_movie->endedBecause =
                QStringLiteral("The recording ended because the camera was disconnected or changed.");
        else if (audio != m_playingAudioID)
            m_movie->endedBecause =
                QStringLiteral("The recording ended because the sound input was disconnected or changed.");
    }
    if (m_running)
        startSession();
}

void GstCaptureBackend::addOutputs(FrameHandler frameHandler)
{
    m_frameHandler = std::move(frameHandler);
    if (m_session)
        m_session->setFrameOutputEnabled(true);
}

void GstCaptureBackend::removeOutputs()
{
    m_frameHandler = nullptr;
    if (m_session)
        m_session->setFrameOutputEnabled(false);
}

void GstCaptureBackend::startRunning()
{
    if (!m_session || m_running)
        return;
    m_running = true;
    startSession();
}

void GstCaptureBackend::startSession()
{
    m_playingVideoID = m_videoInput ? m_videoInput->uniqueID : std::string();
    m_playingAudioID = m_audioInput ? m_audioInput->uniqueID : std::string();
    QString error;
    if (!m_session->start(&error))
        postLater({CaptureNotification::RuntimeError, m_sessionId, error});
}

void GstCaptureBackend::stopRunning()
{
    if (!m_session || !m_running)
        return;
    m_session->stop();
    m_running = false;
    postLater({CaptureNotification::DidStopRunning, m_sessionId, {}});
}

void GstCaptureBackend::setAudioGain(double gain)
{
    m_audioGain = gain;
    if (m_session)
        m_session->setAudioGain(gain);
}

double GstCaptureBackend::previewVolume() const
{
    return m_previewVolume;
}

void GstCaptureBackend::setPreviewVolume(double volume)
{
    m_previewVolume = volume;
    if (m_session)
        m_session->setPreviewVolume(volume);
}

std::vector<float> GstCaptureBackend::audioChannelPowerLevels() const
{
    return m_session ? m_session->audioChannelPowerLevels() : std::vector<float>{};
}

QSize GstCaptureBackend::activeVideoDimensions() const
{
    if (!m_videoInput || !m_session)
        return {};
    return m_session->negotiatedVideoSize();
}

bool GstCaptureBackend::startRecording(const QString &path, int orientation, MovieFinished finished, QString *error)
{
    if (m_movie) {
        if (error)
            *error = QStringLiteral("A movie is being recorded already.");
        return false;
    }
    if (!m_session || !m_running || !m_session->isRunning()) {
        if (error)
            *error = QStringLiteral("The camera is not running.");
        return false;
    }
    if (!m_session->startRecording(path.toStdString(), orientation, error))
        return false;
    m_movie = Movie{path, std::move(finished), false, {}};
    return true;
}

void GstCaptureBackend::stopRecording()
{
    if (!m_movie || m_movie->stopAsked)
        return;
    m_movie->stopAsked = true;
    if (m_session)
        m_session->stopRecording();
}

void GstCaptureBackend::setVideoFramesWanted(bool wanted)
{
    m_videoWanted = wanted;
    if (m_session)
        m_session->setVideoWanted(wanted);
}

void GstCaptureBackend::movieClosed(const QString &error)
{
    if (m_session)
        m_session->recordingClosed();
    if (!m_movie)
        return;
    Movie movie = std::move(*m_movie);
    m_movie.reset();
    MovieOutcome outcome;
    if (!error.isEmpty()) {
        outcome.error = error;
        outcome.finishedSuccessfully = false;
    } else if (!movie.stopAsked) {
        // The pipeline was stopped or rebuilt under the movie: the file was
        // closed properly, and the user is told why it ended.
        outcome.error = movie.endedBecause.isEmpty() ? QStringLiteral("The recording ended because the camera stopped.")
                                                     : movie.endedBecause;
    }
    if (movie.finished)
        movie.finished(movie.path, outcome);
}

void GstCaptureBackend::postLater(CaptureNotificationInfo info)
{
    // From any thread; the context's deletion drops what is still queued.
    QMetaObject::invokeMethod(
        &m_context, [this, info = std::move(info)] { m_center.post(info); }, Qt::QueuedConnection);
}

} // namespace kelvo::video::backend
