#include "video/CaptureController.h"

#include "common/SystemLog.h"

#include <utility>

namespace kelvo::video {

namespace {

bool isBuiltIn(const CaptureDevice &device)
{
    return device.modelID.find("Apple Camera") != std::string::npos || device.transportType == kTransportTypePCI ||
           device.transportType == kTransportTypeBuiltIn;
}

bool contains(const std::vector<CaptureDevice> &list, const std::optional<CaptureDevice> &device)
{
    if (!device)
        return false;
    for (const CaptureDevice &d : list) {
        if (d.sameDevice(*device))
            return true;
    }
    return false;
}

} // namespace

CaptureController::CaptureController(CaptureBackend &backend, CaptureHost &host, CaptureScheduler &scheduler)
    : m_backend(backend), m_host(host), m_scheduler(scheduler)
{}

CaptureController::~CaptureController()
{
    for (CaptureScheduler::TimerId timer : {m_audioLevelTimer, m_quadrelSetupTimer, m_reinitTimer})
        m_scheduler.cancel(timer);
    for (CaptureScheduler::TimerId timer : m_errorPresentations)
        m_scheduler.cancel(timer);
    removeObservers();
}

void CaptureController::initializeVideoCapture()
{
    if (m_running)
        return;

    m_host.resetDeviceInfo();
    // The menus list what is attached now, before any hot-plug news arrives.
    readDeviceLists();

    // A rebuild must leave exactly one meter timer and one set of observers.
    if (m_audioLevelTimer != CaptureScheduler::kNoTimer) {
        m_scheduler.cancel(m_audioLevelTimer);
        m_audioLevelTimer = CaptureScheduler::kNoTimer;
    }
    removeObservers();

    m_session = m_backend.createSession();
    setupAVCaptureNotifications();

    m_backend.addOutputs([this](const VideoFrame &frame) { captureOutputDidOutputFrame(frame); });

    if (auto quadrel = deviceWithModelID(kQuadrelModelID)) {
        setSelectedVideoDevice(quadrel);
        setSelectedAudioDevice(m_backend.defaultAudioDevice());
    } else if (auto builtIn = defaultDeviceWithMediaType(CaptureMediaType::Video)) {
        setSelectedVideoDevice(builtIn);
        setSelectedAudioDevice(m_backend.defaultAudioDevice());
    } else {
        setSelectedVideoDevice(defaultDeviceWithMediaType(CaptureMediaType::Muxed));
    }

    configurePreviewLayer();

    m_sessionStopObserver = m_backend.notificationCenter().addObserver(
        CaptureNotification::DidStopRunning, m_session,
        [this](const CaptureNotificationInfo &) { captureSessionStoppedRunningNotification(); });

    m_host.showReadingGuideOverlay();

    m_backend.startRunning();

    m_audioLevelTimer = m_scheduler.scheduleRepeating(kAudioLevelInterval, [this] { m_host.updateAudioLevels(); });

    m_host.updateColorModeMenus();
    m_host.setImageFilters();
    m_running = true;
}

void CaptureController::cleanupVideoCapture()
{
    m_backend.stopRunning();
    m_backend.removeOutputs();
    setSelectedAudioDevice(std::nullopt);
    setSelectedVideoDevice(std::nullopt);
    if (m_previewLayer)
        m_previewLayer->setInLayerTree(false);
    m_previewLayer.reset();
    m_host.clearFreezeFrameView();
    m_running = false;
}

void CaptureController::windowWillClose()
{
    m_scheduler.cancel(m_audioLevelTimer);
    m_audioLevelTimer = CaptureScheduler::kNoTimer;
    m_backend.stopRunning();
    removeObservers();
    cleanupVideoCapture();
}

void CaptureController::reinitAfterFailure()
{
    m_reinitTimer = CaptureScheduler::kNoTimer;
    initializeVideoCapture();
    m_host.resetStuckVideoDevice();
    refreshDevices();
}

void CaptureController::readDeviceLists()
{
    m_videoDevices = m_backend.devices(CaptureMediaType::Video);
    for (CaptureDevice &muxed : m_backend.devices(CaptureMediaType::Muxed))
        m_videoDevices.push_back(std::move(muxed));
    m_audioDevices = m_backend.devices(CaptureMediaType::Audio);
}

void CaptureController::refreshDevices()
{
    readDeviceLists();

    const bool videoStillPresent = contains(m_videoDevices, m_videoDeviceInput);
    const bool audioStillPresent = contains(m_audioDevices, m_audioDeviceInput);
    const std::optional<CaptureDevice> quadrel = deviceWithModelID(kQuadrelModelID);
    const std::optional<CaptureDevice> builtIn = defaultDeviceWithMediaType(CaptureMediaType::Video);
    const std::optional<CaptureDevice> defaultAudio = m_backend.defaultAudioDevice();
    const std::optional<CaptureDevice> builtInMuxed = defaultDeviceWithMediaType(CaptureMediaType::Muxed);

    if (quadrel) {
        if (!videoStillPresent)
            setSelectedVideoDevice(std::nullopt);
        if (!audioStillPresent)
            setSelectedAudioDevice(std::nullopt);
        // With no video device left selected the camera must be taken up as
        // well: otherwise a camera plugged back in after its own removal
        // (with no other camera to fall back on) would never be shown.
        if (!isQuadrel(m_videoDeviceInput)) {
            m_host.resetDeviceInfo();
            setupQuadrelAfterDelay();
        }
    } else if (!videoStillPresent && builtIn) {
        setSelectedVideoDevice(builtIn);
        if (!audioStillPresent)
            setSelectedAudioDevice(defaultAudio);
    } else if (!videoStillPresent && builtInMuxed) {
        setSelectedAudioDevice(std::nullopt);
        setSelectedVideoDevice(builtInMuxed);
    } else if (videoStillPresent) {
        // The shown camera is still there: an unrelated device came or went,
        // which is no reason to blank the picture.
        if (!audioStillPresent)
            setSelectedAudioDevice(defaultAudio);
    } else {
        setSelectedVideoDevice(std::nullopt);
        if (!audioStillPresent)
            setSelectedAudioDevice(std::nullopt);
    }

    m_host.updateCameraMenu();
    m_host.updateAudioInputMenu();
    m_host.setWindowAspectRatio();
}

std::optional<CaptureDevice> CaptureController::defaultDeviceWithMediaType(CaptureMediaType type) const
{
    for (const CaptureDevice &device : m_backend.devices(type)) {
        if (isBuiltIn(device))
            return device;
        systemLog("LOCNAME: %s MID: %s CONN %d\n", device.localizedName.toUtf8().constData(), device.modelID.c_str(),
                  int(device.transportType));
    }
    return std::nullopt;
}

std::optional<CaptureDevice> CaptureController::deviceWithModelID(const std::string &modelID) const
{
    std::optional<CaptureDevice> found;
    systemLog("Device List:\n\n");
    for (CaptureMediaType type : {CaptureMediaType::Video, CaptureMediaType::Muxed, CaptureMediaType::Audio}) {
        for (const CaptureDevice &device : m_backend.devices(type)) {
            systemLog("    Device: \"%s\"\n", device.modelID.c_str());
            // Only a device that can be the video device: a camera's
            // microphone may carry the camera's model identifier too.
            if (!found && device.modelID == modelID && type != CaptureMediaType::Audio)
                found = device;
        }
    }
    systemLog("\nEnd Device List:\n");
    if (!found)
        systemLog("WARNING: No Quadrel found\n");
    return found;
}

void CaptureController::setupQuadrelAfterDelay()
{
    if (m_quadrelSetupTimer != CaptureScheduler::kNoTimer)
        return;
    m_quadrelSetupTimer = m_scheduler.scheduleOnce(kQuadrelSetupDelay, [this] { setupQuadrelAfterDelayCompletion(); });
}

void CaptureController::setupQuadrelAfterDelayCompletion()
{
    m_scheduler.cancel(m_quadrelSetupTimer);
    m_quadrelSetupTimer = CaptureScheduler::kNoTimer;

    const std::optional<CaptureDevice> quadrel = deviceWithModelID(kQuadrelModelID);
    if (!m_running)
        return;
    if (quadrel) {
        if (!isQuadrel(m_videoDeviceInput)) {
            setSelectedVideoDevice(quadrel);
            setSelectedAudioDevice(m_backend.defaultAudioDevice());
        }
    } else {
        refreshDevices();
    }
}

void CaptureController::setSelectedVideoDevice(const std::optional<CaptureDevice> &device)
{
    m_backend.beginConfiguration();
    if (m_videoDeviceInput) {
        m_backend.setVideoInput(nullptr, nullptr);
        m_videoDeviceInput.reset();
    }
    if (device) {
        QString error;
        if (m_backend.setVideoInput(&*device, &error)) {
            m_videoDeviceInput = device;
            m_host.setImageFilters();
        } else {
            presentErrorLater(error);
        }
    }
    // A muxed device brings its own sound.
    if (selectedVideoDeviceProvidesAudio())
        setSelectedAudioDevice(std::nullopt);
    m_backend.commitConfiguration();
    m_host.updateCameraMenu();

    // Settings are kept per camera, so they load after the switch.
    if (device) {
        m_host.loadPreferences();
        m_host.setVideoOrientation(m_host.videoOrientation());
        m_host.setImageFilters();
    }

    if (isQuadrel(device)) {
        m_host.doHIDRescan();
        setDeinterlaceMenuItemEnabled(true);
    } else {
        setDeinterlaceMenuItemEnabled(false);
        systemLog("Terminating HID threads!\n");
        m_host.terminateAllUSBThreads();
        m_host.setQuadrelPhysicalOrientation(0);
        m_host.hideBatteryLevelIndicator();
    }

    m_previewNeedsResizeCheck = true;
    m_host.loadPreferences();
}

void CaptureController::setSelectedAudioDevice(const std::optional<CaptureDevice> &device)
{
    m_backend.beginConfiguration();
    m_newlyConfigured = true;
    if (m_audioDeviceInput) {
        m_backend.setAudioInput(nullptr, nullptr);
        m_audioDeviceInput.reset();
    }
    if (device && !selectedVideoDeviceProvidesAudio()) {
        QString error;
        if (m_backend.setAudioInput(&*device, &error))
            m_audioDeviceInput = device;
        else
            presentErrorLater(error);
    }
    m_backend.commitConfiguration();
    m_host.updateAudioInputMenu();
}

bool CaptureController::selectedVideoDeviceProvidesAudio() const
{
    return m_videoDeviceInput && (m_videoDeviceInput->hasMuxed || m_videoDeviceInput->hasAudio);
}

void CaptureController::configurePreviewLayer()
{
    if (!m_previewLayer) {
        m_previewLayer = std::make_unique<CapturePreviewLayer>();
        m_previewLayer->setFrameSink(m_previewSink);
    }
    // The view keeps the layer's size in step with its own from here on.
    m_previewLayer->setFrame(m_host.previewViewBounds());
    // While deinterlacing, the freeze-frame view draws the live picture.
    m_previewLayer->setInLayerTree(!m_enableDeinterlacing);

    m_host.loadPreferences();
    m_host.setVideoOrientation(m_host.videoOrientation());
    m_host.setImageFilters();
}

void CaptureController::setPreviewFrameSink(CapturePreviewLayer::FrameSink sink)
{
    m_previewSink = std::move(sink);
    if (m_previewLayer)
        m_previewLayer->setFrameSink(m_previewSink);
}

void CaptureController::setupAVCaptureNotifications()
{
    CaptureNotificationCenter &center = m_backend.notificationCenter();
    m_observers.push_back(
        center.addObserver(CaptureNotification::RuntimeError, m_session, [this](const CaptureNotificationInfo &info) {
            systemLog("The video stream was lost.  This could be caused by setting a debug breakpoint on HID errors, "
                      "by device removal, etc.\n");
            systemLog("Video stream lost: %s\n", info.error.toUtf8().constData());
            // One failure often reports several errors; the rebuild already
            // scheduled covers them all.
            if (m_reinitTimer != CaptureScheduler::kNoTimer)
                return;
            cleanupVideoCapture();
            m_reinitTimer = m_scheduler.scheduleOnce(kReinitDelay, [this] { reinitAfterFailure(); });
        }));
    m_observers.push_back(
        center.addObserver(CaptureNotification::DidStartRunning, m_session,
                           [this](const CaptureNotificationInfo &) { m_host.setWindowAspectRatio(); }));
    m_observers.push_back(
        center.addObserver(CaptureNotification::DidStopRunning, m_session, [](const CaptureNotificationInfo &) {}));
    m_observers.push_back(center.addObserver(CaptureNotification::DeviceWasConnected, kAnySession,
                                             [this](const CaptureNotificationInfo &) { refreshDevices(); }));
    m_observers.push_back(center.addObserver(CaptureNotification::DeviceWasDisconnected, kAnySession,
                                             [this](const CaptureNotificationInfo &) { refreshDevices(); }));
}

void CaptureController::captureSessionStoppedRunningNotification()
{
    m_host.stopRecordingIfRecording();
}

void CaptureController::captureOutputDidOutputFrame(const VideoFrame &frame)
{
    if (m_newlyConfigured) {
        m_host.setWindowAspectRatio();
        m_newlyConfigured = false;
    }
    if (!frame.isValid())
        return;
    if (m_previewNeedsResizeCheck) {
        // Shrinking and restoring the layer makes the view lay out the new
        // picture size.
        if (m_previewLayer) {
            const QRectF bounds = m_previewLayer->bounds();
            m_previewLayer->setBounds(bounds.adjusted(0, 0, -1, 0));
            m_previewLayer->setBounds(bounds);
        }
        m_previewNeedsResizeCheck = false;
    }
    if (m_previewLayer)
        m_previewLayer->display(frame);
    m_host.processCapturedFrame(frame);
}

QRect CaptureController::getVideoDimensionsWithRotation(bool withRotation) const
{
    QSize size = m_videoDeviceInput ? m_backend.activeVideoDimensions() : QSize();
    if (!size.isValid())
        size = QSize(0, 0);
    const int orientation = m_host.videoOrientation();
    if (withRotation && (orientation == 3 || orientation == 4))
        size.transpose();
    return QRect(QPoint(0, 0), size);
}

void CaptureController::setEnableDeinterlacing(bool enable)
{
    m_enableDeinterlacing = enable;
    if (m_previewLayer) {
        m_previewLayer->setInLayerTree(false);
        if (!enable) {
            const QRectF viewBounds = m_host.previewViewBounds();
            m_previewLayer->setBounds(viewBounds);
            m_previewLayer->setFrame(viewBounds);
            m_previewLayer->setInLayerTree(true);
        }
    }
    m_host.updateDeinterlaceMenuItem(m_enableDeinterlaceMenuItem, m_enableDeinterlacing);
    m_host.savePreferences();
}

void CaptureController::setDeinterlaceMenuItemEnabled(bool enabled)
{
    if (!enabled)
        setEnableDeinterlacing(false);
    m_enableDeinterlaceMenuItem = enabled;
    m_host.updateDeinterlaceMenuItem(m_enableDeinterlaceMenuItem, m_enableDeinterlacing);
}

bool CaptureController::setTransportMode(int, float, const CaptureDevice &)
{
    return false;
}

int CaptureController::observerCount() const
{
    return int(m_observers.size()) + (m_sessionStopObserver ? 1 : 0);
}

void CaptureController::removeObservers()
{
    CaptureNotificationCenter &center = m_backend.notificationCenter();
    for (CaptureNotificationCenter::Token token : m_observers)
        center.removeObserver(token);
    m_observers.clear();
    if (m_sessionStopObserver)
        center.removeObserver(*m_sessionStopObserver);
    m_sessionStopObserver.reset();
}

void CaptureController::presentErrorLater(const QString &message)
{
    // A fresh id per call; the set lets the destructor cancel what is left.
    auto id = std::make_shared<CaptureScheduler::TimerId>(CaptureScheduler::kNoTimer);
    *id = m_scheduler.scheduleOnce(std::chrono::milliseconds(0), [this, id, message] {
        m_errorPresentations.erase(*id);
        m_host.presentError(message);
    });
    m_errorPresentations.insert(*id);
}

bool CaptureController::isQuadrel(const std::optional<CaptureDevice> &device) const
{
    return device && device->modelID == kQuadrelModelID;
}

} // namespace kelvo::video
