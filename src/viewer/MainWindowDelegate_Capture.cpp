// The controller's side of the capture session: building it, choosing the
// camera, and what the session asks of the viewer.
#include "viewer/MainWindowDelegate.h"

#include "common/SystemLog.h"
#include "device/DeviceLink.h"
#include "ui/MenuTags.h"
#include "video/still/StillImage.h"

#include <utility>

#include <QMessageBox>

namespace kelvo::viewer {

void MainWindowDelegate::attachCapture(video::CaptureBackend &backend, video::CaptureScheduler &scheduler)
{
    m_capture = std::make_unique<video::CaptureController>(backend, *this, scheduler);
    m_capture->setPreviewFrameSink([this](const video::VideoFrame &frame) { m_view->presentFrame(frame); });
    m_captureBackend = &backend;
    m_movieRecorder.setBackend(&backend);
    // The room is heard once, through the user's own ears: the preview
    // plays nothing until the window's controls ask for it.
    backend.setPreviewVolume(0.0);
    backend.setAudioGain(m_model.effectiveAudioGain());
    connect(&m_model, &ViewerModel::audioGainChanged, this, [this](float gain) {
        if (m_captureBackend)
            m_captureBackend->setAudioGain(gain);
    });
    connect(&m_model, &ViewerModel::frozenChanged, this, &MainWindowDelegate::updateVideoFrameDelivery);
    updateVideoFrameDelivery();
}

void MainWindowDelegate::updateVideoFrameDelivery()
{
    if (!m_captureBackend)
        return;
    // A frozen picture is the still, drawn from memory; a picture nobody can
    // see needs no frames either. A movie keeps the camera going regardless.
    const bool seen = m_view == nullptr || m_view->pictureCanBeSeen();
    m_captureBackend->setVideoFramesWanted(m_model.waitingToFreeze() || (!m_model.isFrozen() && seen));
}

void MainWindowDelegate::detachCapture()
{
    if (!m_capture)
        return;
    m_capture->cleanupVideoCapture();
    m_capture.reset();
    m_movieRecorder.setBackend(nullptr);
    m_captureBackend = nullptr;
    disconnect(&m_model, &ViewerModel::audioGainChanged, this, nullptr);
    disconnect(&m_model, &ViewerModel::frozenChanged, this, &MainWindowDelegate::updateVideoFrameDelivery);
    setPreviewConnection(false, false, false);
}

void MainWindowDelegate::initializeVideoCapture()
{
    emit videoCaptureStarting();
    if (!m_capture)
        return;
    m_capture->initializeVideoCapture();
    // The picture is turned and mirrored by the view, which supports both.
    setPreviewConnection(true, true, true);
}

void MainWindowDelegate::cleanupVideoCapture()
{
    if (m_capture)
        m_capture->cleanupVideoCapture();
}

void MainWindowDelegate::resetDeviceInfo()
{
    if (m_deviceLink)
        m_deviceLink->resetDeviceInfo();
}

void MainWindowDelegate::doHIDRescan()
{
    if (m_hidRescan)
        m_hidRescan(m_capture ? m_capture->selectedVideoDevice() : std::nullopt);
}

void MainWindowDelegate::terminateAllUSBThreads()
{
    if (m_deviceLink)
        m_deviceLink->terminateAllUSBThreads();
}

void MainWindowDelegate::resetStuckVideoDevice()
{
    systemLog("Resetting stuck video device\n");
    if (m_resetStuckVideo)
        m_resetStuckVideo();
}

void MainWindowDelegate::updateDeinterlaceMenuItem(bool enabled, bool checked)
{
    m_enableDeinterlaceMenuItem = enabled;
    m_enableDeinterlacing = checked;
    // Deinterlaced live frames were drawn as stills; the live view takes over.
    if (!checked && !isFrozen())
        m_view->setStillPicture(QImage());
    setCheckMarkForItem(ui::MenuTag::Deinterlacing, ui::MenuTag::Camera, checked);
    revalidateMenus();
}

QRectF MainWindowDelegate::previewViewBounds() const
{
    return m_view->previewViewBounds();
}

void MainWindowDelegate::showReadingGuideOverlay()
{
    m_view->showReadingGuideOverlay();
}

void MainWindowDelegate::clearFreezeFrameView()
{
    m_freezeFrames.clearFreezeFramePicture();
    m_view->setStillPicture(QImage());
}

void MainWindowDelegate::presentError(const QString &message)
{
    // Not modal: the viewer keeps running and retries on its own.
    auto *box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Kelvo Viewer"), message, QMessageBox::Ok,
                                m_view->dialogParent());
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

void MainWindowDelegate::stopRecordingIfRecording()
{
    // The movie may already have been closed with the session; the menu
    // and the overlay still say it runs.
    if (m_model.isRecording())
        setRecording(false);
}

void MainWindowDelegate::setRecording(bool recording)
{
    if (recording) {
        if (!m_movieRecorder.start(videoOrientation()))
            return;
    } else {
        m_movieRecorder.stop();
    }
    m_model.setRecording(recording);
}

void MainWindowDelegate::updateAudioLevels()
{
    if (!m_captureBackend || !m_capture)
        return;
    m_model.setSoundInputPresent(m_capture->selectedAudioDevice().has_value() ||
                                 m_capture->selectedVideoDeviceProvidesAudio());
    m_model.setAudioLevel(video::audioMeterValue(m_captureBackend->audioChannelPowerLevels()));
}

double MainWindowDelegate::previewVolume() const
{
    // The platform keeps the volume in single precision.
    return m_captureBackend ? static_cast<float>(m_captureBackend->previewVolume()) : 0.0;
}

void MainWindowDelegate::setPreviewVolume(double volume)
{
    if (m_captureBackend)
        m_captureBackend->setPreviewVolume(static_cast<float>(volume));
}

void MainWindowDelegate::processCapturedFrame(const video::VideoFrame &frame)
{
    m_freezeFrames.handleVideoFrame(frame);
}

bool MainWindowDelegate::takeWaitingToFreeze()
{
    return m_model.takeWaitingToFreeze();
}

void MainWindowDelegate::showFreezeFramePicture(const video::FreezeFrameImage &picture)
{
    m_view->setStillPicture(video::stillQImage(picture));
    updateVideoFrameDelivery();
    stillPictureShownForReading();
}

} // namespace kelvo::viewer
