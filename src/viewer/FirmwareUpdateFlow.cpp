#include "viewer/FirmwareUpdateFlow.h"

#include "common/SystemLog.h"
#include "device/DeviceDiscovery.h"
#include "device/DeviceLink.h"
#include "device/FirmwareInstaller.h"
#include "ui/DraggableWindow.h"
#include "ui/FirmwareUpdateWindow.h"
#include "update/Sha512Checksum.h"
#include "viewer/ApplicationCommands.h"
#include "viewer/MainWindowDelegate.h"
#include "viewer/ViewerLifecycleSteps.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QStackedWidget>

#include <mutex>

namespace kelvo::viewer {

// What the upload thread and the device-link queue share with the flow: the
// image being installed, and the object that receives their hand-overs
// while the flow exists. An upload may outlive the flow (the viewer quits
// mid-update); its hand-overs are then dropped.
struct FirmwareUpdateFlow::Channel {
    std::mutex mutex;
    QObject *receiver = nullptr; // guarded by mutex
    Image image;                 // guarded by mutex

    void post(std::function<void()> task)
    {
        std::lock_guard lock(mutex);
        if (receiver)
            QMetaObject::invokeMethod(receiver, std::move(task), Qt::QueuedConnection);
    }
    Image current()
    {
        std::lock_guard lock(mutex);
        return image;
    }
};

FirmwareUpdateFlow::FirmwareUpdateFlow(MainWindowDelegate &controller)
    : m_controller(controller), m_channel(std::make_shared<Channel>())
{
    m_channel->receiver = this;
}

FirmwareUpdateFlow::~FirmwareUpdateFlow()
{
    {
        std::lock_guard lock(m_channel->mutex);
        m_channel->receiver = nullptr;
    }
    if (m_installer && m_controller.deviceLink())
        m_controller.deviceLink()->setFirmwareInstallerRoute({});
}

std::int32_t FirmwareUpdateFlow::state() const
{
    return m_installer ? m_installer->firmwareUploadState() : device::kWaitingForDeviceInDFUMode;
}

double FirmwareUpdateFlow::progress() const
{
    return m_installer ? m_installer->firmwareUpdateProgress() : 0.0;
}

void FirmwareUpdateFlow::ensureInstaller()
{
    if (m_installer)
        return;
    device::DeviceLink &link = *m_controller.deviceLink();
    const std::shared_ptr<Channel> channel = m_channel;
    device::FirmwareInstaller::Hooks hooks;
    hooks.postToMain = [channel](std::function<void()> task) { channel->post(std::move(task)); };
    // These run on the main thread, through postToMain, only while the flow exists.
    hooks.showPage = [this](const QString &page) { showPage(page); };
    hooks.finished = [this] { finish(); };
    hooks.quit = [this] { quitApplication(); };
    hooks.startWatcher = [&link](bool postUpdate) {
        if (!link.startFirmwareWatcher(postUpdate))
            systemLog("No device discovery runs; the firmware update waits in vain.\n");
    };
    hooks.progressChanged = [channel, this](double percent) {
        channel->post([this, percent] { showProgress(percent); });
    };
    device::FirmwareUploadSource source;
    source.versionReadyToInstall = [channel]() -> std::optional<QString> {
        const Image image = channel->current();
        return image.version.isEmpty() ? std::nullopt : std::optional<QString>(image.version);
    };
    source.imagePath = [channel](const QString &) -> std::optional<QString> {
        const Image image = channel->current();
        return image.path.isEmpty() ? std::nullopt : std::optional<QString>(image.path);
    };
    source.verifyChecksum = [channel](QByteArrayView data) {
        return update::verifySHA512ChecksumForData(channel->current().checksum, data);
    };
    m_installer = std::make_shared<device::FirmwareInstaller>(link, std::move(hooks), std::move(source));
    // The route keeps the installer alive for an upload that is still running.
    const std::shared_ptr<device::FirmwareInstaller> installer = m_installer;
    link.setFirmwareInstallerRoute(
        {[installer](std::int32_t state) { installer->setFirmwareUploadState(state); },
         [installer](std::shared_ptr<device::VendorUsbInterface> interface) { installer->upload(interface); }});
}

bool FirmwareUpdateFlow::start(Image image)
{
    ui::FirmwareUpdateWindow *window = m_controller.outlets().firmwareUpdateWindow;
    if (!m_controller.deviceLink() || !window)
        return false;
    {
        std::lock_guard lock(m_channel->mutex);
        m_channel->image = std::move(image);
    }
    ensureInstaller();
    if (!m_windowConnected) {
        connect(window, &ui::FirmwareUpdateWindow::actionRequested, this,
                [this](ui::FirmwareUpdateWindow::Action action) {
                    switch (action) {
                    case ui::FirmwareUpdateWindow::Action::Cancel:
                        cancelFirmwareInstall();
                        return;
                    case ui::FirmwareUpdateWindow::Action::Retry:
                        retryFirmwareInstall();
                        return;
                    case ui::FirmwareUpdateWindow::Action::Quit:
                        quitAfterFirmwareInstallFailure();
                        return;
                    }
                });
        m_windowConnected = true;
    }
    m_running = true;
    window->setProgress(0.0);
    // The firmware window goes up before the video window closes, so the
    // viewer never stands without a window.
    window->selectPageWithIdentifier(device::FirmwareInstaller::pageIdentifier(device::kWaitingForDeviceInDFUMode));
    window->show();
    window->raise();
    window->activateWindow();
    if (ui::DraggableWindow *video = m_controller.videoWindow()) {
        // Closing the video window ends the viewer; for the update it goes
        // out of sight and lets go of the camera as a closing does, and
        // comes back with the camera.
        video->hide();
        runClosing(m_controller);
    }
    m_installer->begin();
    m_controller.startPseudoModal();
    return true;
}

void FirmwareUpdateFlow::cancelFirmwareInstall()
{
    if (m_installer && m_running)
        m_installer->cancelFirmwareInstall();
}

void FirmwareUpdateFlow::retryFirmwareInstall()
{
    if (m_installer && m_running)
        m_installer->retryFirmwareInstall();
}

void FirmwareUpdateFlow::quitAfterFirmwareInstallFailure()
{
    if (m_installer && m_running)
        m_installer->quitAfterFirmwareInstallFailure();
}

void FirmwareUpdateFlow::showPage(const QString &page)
{
    if (ui::FirmwareUpdateWindow *window = m_controller.outlets().firmwareUpdateWindow) {
        window->selectPageWithIdentifier(page);
        window->tabView()->update();
    }
}

void FirmwareUpdateFlow::showProgress(double percent)
{
    if (ui::FirmwareUpdateWindow *window = m_controller.outlets().firmwareUpdateWindow)
        window->setProgress(percent);
}

void FirmwareUpdateFlow::finish()
{
    // A second reappearance (cancel, then the camera's return) finds the
    // procedure already over.
    if (!m_running)
        return;
    m_running = false;
    m_controller.endPseudoModal();
    if (ui::FirmwareUpdateWindow *window = m_controller.outlets().firmwareUpdateWindow)
        window->closeWhenDone();
    if (ApplicationCommands *application = m_controller.applicationCommands())
        application->showVideoWindow();
    else
        m_controller.bringVideoWindowForward();
}

void FirmwareUpdateFlow::quitApplication()
{
    m_running = false;
    m_controller.endPseudoModal();
    if (ui::FirmwareUpdateWindow *window = m_controller.outlets().firmwareUpdateWindow)
        window->closeWhenDone();
    if (ApplicationCommands *application = m_controller.applicationCommands())
        application->quit();
    else
        QCoreApplication::quit();
}

} // namespace kelvo::viewer
