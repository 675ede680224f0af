#include "app/FirmwareInstallCommand.h"

#include "common/EventLoopHost.h"
#include "common/SystemLog.h"
#include "device/DeviceDiscovery.h"
#include "device/DeviceLink.h"
#include "device/FirmwareInstaller.h"
#include "device/backend/LinuxDeviceDiscovery.h"
#include "update/Sha512Checksum.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTextStream>
#include <QTimer>

#include <memory>
#include <optional>

namespace kelvo::app {
namespace {

QString pageText(const QString &page)
{
    if (page == QLatin1String("WaitingForDFU"))
        return QStringLiteral("Put the camera into its update mode:\n"
                              "  1. Unplug the camera's USB cable from the computer.\n"
                              "  2. Press and hold the camera's reset button.\n"
                              "  3. While you hold the button, plug the cable back in, then let go.\n"
                              "Waiting for the camera in its update mode...\n");
    if (page == QLatin1String("InProgress"))
        return QStringLiteral("Sending the firmware to the camera. Do not unplug the camera.\n");
    if (page == QLatin1String("WaitingForReboot"))
        return QStringLiteral("\nThe camera has the new firmware and is restarting. Do not unplug it.\n");
    return {};
}

// Where the procedure stands, as the event loop sees it.
struct Run {
    std::optional<int> status;
    QString reason;
    bool reappeared = false;
    std::int32_t lastPage = -1;
};

} // namespace

int runFirmwareInstall(QTextStream &out, const FirmwareInstallOptions &options)
{
    const QString expected = options.sha512.trimmed().toLower();
    static const QRegularExpression hex(QStringLiteral("^[0-9a-f]{128}$"));
    if (!hex.match(expected).hasMatch()) {
        out << "The SHA-512 must be 128 hexadecimal digits.\n";
        return 2;
    }
    {
        QFile file(options.imagePath);
        if (!file.open(QIODevice::ReadOnly) || file.size() <= 0) {
            out << "Cannot read the firmware image " << options.imagePath << ".\n";
            return 2;
        }
    }
    // Checked before the user is sent to the camera: a wrong image must not
    // cost a reset.
    if (!update::verifySHA512ChecksumForFile(expected, options.imagePath)) {
        out << "The firmware image does not match the SHA-512 given; nothing was sent to the camera.\n";
        return 2;
    }

    const std::unique_ptr<QCoreApplication> ownApplication = coreApplicationIfMissing();

    device::DeviceLink link;
    link.createSendQueue();
    link.startHIDInitialization();
    Run run;
    QEventLoop loop;
    auto end = [&](int status, const QString &reason) {
        if (run.status)
            return;
        run.status = status;
        run.reason = reason;
        loop.quit();
    };
    {
        // Declared before the discovery, which waits for the upload thread
        // when it goes: what that thread reaches outlives it.
        QObject context;
        QElapsedTimer inState;
        int shownPercent = -1;
        bool sending = false;
        device::LinuxDeviceDiscovery platform(link);
        if (!platform.isWatchingBus()) {
            out << "Cannot watch the USB bus for the camera (udev is not available).\n";
            return 1;
        }
        device::FirmwareInstaller::Hooks hooks;
        hooks.postToMain = [&context](std::function<void()> task) {
            QMetaObject::invokeMethod(&context, std::move(task), Qt::QueuedConnection);
        };
        inState.start();
        hooks.showPage = [&](const QString &page) {
            inState.restart();
            if (page == QLatin1String("UploadFailed"))
                return end(1, QStringLiteral("The camera did not take the firmware (see the log lines above). "
                                             "Reset the camera and run the update again."));
            if (page == QLatin1String("FatalError"))
                return end(1, QStringLiteral("The camera could not be opened in its update mode. Check its access "
                                             "with kelvo-viewer --probe."));
            out << pageText(page);
            // The progress line starts under the page that announces it.
            if (page == QLatin1String("InProgress")) {
                sending = true;
                shownPercent = 0;
                out << "Sending firmware: 0%";
            }
            out.flush();
        };
        hooks.finished = [&] {
            run.reappeared = true;
            end(0, QString());
        };
        hooks.quit = [&] { end(1, QStringLiteral("The update was stopped.")); };
        hooks.startWatcher = [&platform](bool postUpdate) { platform.startFirmwareUpdateScanner(postUpdate); };
        hooks.progressChanged = [&](double percent) {
            QMetaObject::invokeMethod(
                &context,
                [&, percent] {
                    const int whole = static_cast<int>(percent);
                    if (!sending || whole == shownPercent)
                        return;
                    shownPercent = whole;
                    out << "\rSending firmware: " << whole << "%";
                    out.flush();
                },
                Qt::QueuedConnection);
        };
        device::FirmwareUploadSource source;
        const QString version = QFileInfo(options.imagePath).fileName();
        source.versionReadyToInstall = [version] { return std::optional<QString>(version); };
        source.imagePath = [path = options.imagePath](const QString &) { return std::optional<QString>(path); };
        source.verifyChecksum = [expected](QByteArrayView data) {
            return update::verifySHA512ChecksumForData(expected, data);
        };
        auto installer = std::make_shared<device::FirmwareInstaller>(link, std::move(hooks), std::move(source));
        device::DeviceDiscovery &discovery = platform.discovery();
        discovery.setFirmwareUploadStateSetter([installer](std::int32_t s) { installer->setFirmwareUploadState(s); });
        discovery.setFirmwareUploadHandler(
            [installer](std::shared_ptr<device::VendorUsbInterface> interface) { installer->upload(interface); });

        // Each wait has its limit: the camera never put into its update
        // mode, or never back after taking the image.
        QTimer watchdog;
        QObject::connect(&watchdog, &QTimer::timeout, &loop, [&] {
            const std::int32_t state = installer->firmwareUploadState();
            const auto waited = std::chrono::milliseconds(inState.elapsed());
            if (state == device::kWaitingForDeviceInDFUMode && waited > options.waitForUpdateMode)
                end(1, QStringLiteral("The camera did not appear in its update mode."));
            else if (state == device::kUploadDone && waited > options.waitForReturn)
                end(1, QStringLiteral("The camera took the firmware but did not come back. Unplug it and plug it "
                                      "back in, then check it with kelvo-viewer --probe."));
        });
        watchdog.start(100);
        installer->begin();
        loop.exec();
        watchdog.stop();
        out << "\n";

        if (run.reappeared) {
            // The returned camera is opened as usual and asked for its versions.
            // Its report node, and libusb's list of devices, can lag behind
            // the arrival that told us it is back: until a channel to it is
            // open, look again every half second.
            platform.doHIDRescan();
            QElapsedTimer asked, sinceScan;
            asked.start();
            sinceScan.start();
            while (!link.gotDeviceFirmwareVersion() &&
                   std::chrono::milliseconds(asked.elapsed()) < options.identityTimeout) {
                QEventLoop pause;
                QTimer::singleShot(20, &pause, &QEventLoop::quit);
                pause.exec();
                if (link.hidInterfaces().empty() && link.usbInterfaces().empty() && sinceScan.elapsed() >= 500) {
                    platform.doHIDRescan();
                    sinceScan.restart();
                }
            }
            if (link.gotDeviceFirmwareVersion())
                out << "The camera is back with firmware version "
                    << QString::fromUtf8(escapedForLog(link.deviceFirmwareVersion().toUtf8())) << ".\n";
            else
                out << "The camera is back but did not report its firmware version; check it with "
                       "kelvo-viewer --probe.\n";
        } else {
            out << "Firmware update failed: " << run.reason << "\n";
        }
        out.flush();
        discovery.setFirmwareUploadStateSetter({});
        discovery.setFirmwareUploadHandler({});
        link.terminateAllUSBThreads();
        link.waitForSendQueue();
    }
    // Reports decoded after the run must not outlive the link.
    QCoreApplication::processEvents();
    return run.status.value_or(1);
}

} // namespace kelvo::app
