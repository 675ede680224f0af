#include "device/backend/QuadrelProbe.h"

#include <memory>
#include <thread>

#include <QCoreApplication>
#include <QEventLoop>
#include <QFileInfo>
#include <QTextStream>

#include <unistd.h>

#include "common/EventLoopHost.h"
#include "common/SerialQueue.h"
#include "common/SystemLog.h"
#include "device/DeviceDiscovery.h"
#include "device/DeviceLink.h"
#include "device/backend/HidapiTransport.h"
#include "device/backend/LibusbTransport.h"
#include "device/backend/LinuxUsbBus.h"

namespace kelvo::device {
namespace {

// The camera's strings and the device paths come from outside: printed as
// they are, an escape sequence in them would act on the terminal.
QString shown(const QString &text)
{
    return QString::fromUtf8(escapedForLog(text.toUtf8()));
}

QString usbfsNode(const UsbCandidate &device)
{
    return QStringLiteral("/dev/bus/usb/%1/%2")
        .arg(device.bus, 3, 10, QChar('0'))
        .arg(device.address, 3, 10, QChar('0'));
}

// Prints a line for a node the user cannot read and write; answers whether
// there was a problem.
bool reportAccess(QTextStream &out, const QString &node, const QString &ruleFix)
{
    if (::access(node.toLocal8Bit().constData(), R_OK | W_OK) == 0)
        return false;
    out << "Access problem: no read/write access to " << node << ".\n"
        << "  Fix: " << ruleFix << "\n";
    return true;
}

bool gotAnyIdentity(const DeviceLink &link)
{
    return link.gotDeviceSerialNumber() || link.gotBoardSerialNumber() || link.gotDeviceFirmwareVersion() ||
           link.gotBootFirmwareVersion();
}

bool gotWholeIdentity(const DeviceLink &link)
{
    return link.gotDeviceSerialNumber() && link.gotBoardSerialNumber() && link.gotDeviceFirmwareVersion() &&
           link.gotBootFirmwareVersion();
}

} // namespace

int runProbe(QTextStream &out, const ProbeOptions &options)
{
    const std::unique_ptr<QCoreApplication> ownApplication = coreApplicationIfMissing();

    const bool ruleInstalled = options.ruleInstalled.value_or(QFileInfo::exists(options.udevRulePath));
    const QString ruleFix =
        ruleInstalled ? QStringLiteral("check that %1 grants your user access, then unplug and replug the camera")
                            .arg(options.udevRulePath)
                      : QStringLiteral("install the udev rule %1 (Kelvo Viewer offers this in its window when the "
                                       "camera is attached), or have an administrator run: %2")
                            .arg(options.udevRulePath, options.administratorCommand);

    LinuxUsbBus bus;
    const auto updateMode = bus.enumerateUsb(kQuadrelVendorID, kQuadrelFirmwareUpdateProductID);
    const auto cameras = bus.enumerateUsb(kQuadrelVendorID, kQuadrelProductID);
    bool accessProblem = false;
    if (!ruleInstalled) {
        out << "Access problem: the udev rule " << options.udevRulePath << " is missing.\n"
            << "  Fix: " << ruleFix << "\n";
        accessProblem = true;
    }
    if (cameras.empty() && updateMode.empty()) {
        out << "No Quadrel camera found.\n";
        return 1;
    }
    for (const UsbCandidate &device : updateMode) {
        out << "Found Quadrel at USB " << usbfsNode(device) << " in firmware update mode.\n";
        accessProblem = reportAccess(out, usbfsNode(device), ruleFix) || accessProblem;
    }
    for (const UsbCandidate &device : cameras) {
        out << "Found Quadrel at USB " << usbfsNode(device) << " in camera mode.\n";
        accessProblem = reportAccess(out, usbfsNode(device), ruleFix) || accessProblem;
    }
    for (const HidCandidate &device : bus.enumerateHid(kQuadrelVendorID, kQuadrelProductID)) {
        out << "HID node: " << shown(QString::fromStdString(device.path)) << "\n";
        accessProblem = reportAccess(out, QString::fromStdString(device.path), ruleFix) || accessProblem;
    }
    if (cameras.empty()) {
        // A camera in firmware-update mode sends no reports to ask.
        out << "Mode: firmware update\n";
        out.flush();
        return 1;
    }

    DeviceLink link;
    link.createSendQueue();
    link.startHIDInitialization();
    int status = 1;
    {
        DeviceDiscovery discovery(link, bus);
        // One round of the fallback: a probe reports, it does not wait for
        // a camera that refuses to open.
        discovery.setMaxLegacyRounds(1);
        link.deviceLinkQueue()->sync([&] { discovery.scanHIDDevices(); });
        const bool opened = !link.hidInterfaces().empty() || !link.usbInterfaces().empty();
        if (!opened) {
            out << "Could not open the camera.\n";
            if (!accessProblem)
                out << "  Fix: close other programs that use the camera, then unplug and replug it.\n";
        } else {
            const auto deadline = std::chrono::steady_clock::now() + options.identityTimeout;
            while (!gotWholeIdentity(link) && std::chrono::steady_clock::now() < deadline) {
                QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
            if (gotAnyIdentity(link)) {
                status = 0;
                out << "Mode: camera\n"
                    << "Device serial number: " << shown(link.deviceSerialNumber()) << "\n"
                    << "Board serial number: " << shown(link.boardSerialNumber()) << "\n"
                    << "Firmware version: " << shown(link.deviceFirmwareVersion()) << "\n"
                    << "Boot firmware version: " << shown(link.bootFirmwareVersion()) << "\n";
            } else {
                out << "The camera did not answer within " << options.identityTimeout.count() << " ms.\n";
            }
        }
        link.terminateAllUSBThreads();
        link.waitForSendQueue();
    }
    // Reports decoded after the probe finished must not outlive the link.
    QCoreApplication::processEvents();
    out.flush();
    return status;
}

} // namespace kelvo::device
