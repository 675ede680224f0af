// The report protocol half of DeviceLink: sending commands and decoding the
// camera's reports.
#include "device/DeviceLink.h"

#include <QObject>

#include "common/SerialQueue.h"
#include "common/SystemLog.h"
#include "device/DiagnosticSink.h"
#include "device/OSDKeyReceiver.h"
#include "device/ViewerActions.h"

namespace kelvo::device {

// ---- Sending ------------------------------------------------------------------

bool DeviceLink::sendHIDCommand(long command)
{
    if (!m_sendQueue)
        return false;
    return m_sendQueue->sendHIDCommand(command);
}

bool DeviceLink::sendHIDCommandNow(long command)
{
    if (!isValidHIDCommand(command)) {
        systemLog("Unknown command %ld\n", command);
        return false;
    }
    switch (command) {
    case HIDCommandPowerUp:
        return sendPowerUp();
    case HIDCommandPowerDownSequence:
        return sendPowerDownSequence();
    case HIDCommandBurst:
        return sendBurst();
    default:
        break;
    }
    // One or two reports; the second of two goes only after the first did.
    for (const CommandBytes &report : commandReports(command)) {
        if (!sendRawHIDCommand(report))
            return false;
    }
    return true;
}

bool DeviceLink::sendPowerUp()
{
    for (long queued : powerUpSequence()) {
        if (!sendHIDCommand(queued))
            return false;
    }
    // The viewer's state is main-thread state: the light is shown on from
    // there, before the camera confirms it.
    postToMain([this] {
        if (m_viewer)
            m_viewer->setLightIsOn(true);
    });
    return true;
}

bool DeviceLink::sendPowerDownSequence()
{
    const std::vector<long> &sequence = powerDownSequence();
    if (!sendHIDCommand(sequence[0]))
        return false;
    return sendHIDCommand(sequence[1]);
}

bool DeviceLink::sendBurst()
{
    auto burst = std::make_unique<Burst>();
    Burst *raw = burst.get();
    {
        std::lock_guard lock(m_burstMutex);
        // Queues of finished bursts are idle: destroying them only joins.
        std::erase_if(m_bursts, [](const std::unique_ptr<Burst> &old) { return old->done.load(); });
        m_bursts.push_back(std::move(burst));
    }
    raw->queue.async([this, raw] {
        for (const CommandBytes &report : commandReports(HIDCommandBurst))
            sendRawHIDCommand(report);
        raw->done.store(true);
    });
    return true;
}

bool DeviceLink::sendRawHIDCommand(const std::uint8_t *bytes)
{
    CommandBytes command{};
    std::copy(bytes, bytes + kCommandBytes, command.begin());
    return sendRawHIDCommand(command);
}

bool DeviceLink::sendRawHIDCommand(const CommandBytes &bytes)
{
    std::vector<std::shared_ptr<VendorUsbInterface>> usb;
    std::vector<std::shared_ptr<HidDevice>> hid;
    {
        // A snapshot: devices added or removed meanwhile are neither missed
        // halfway nor freed under the walk.
        std::lock_guard lock(m_lock);
        usb = m_usbInterfaces;
        usb.insert(usb.end(), m_retiredUsb.begin(), m_retiredUsb.end());
        hid = m_hidInterfaces;
        hid.insert(hid.end(), m_retiredHid.begin(), m_retiredHid.end());
    }
    if (usb.empty() && hid.empty())
        return false;
    const Report report = makeReport(bytes);
    bool result = true;
    for (const auto &interface : usb) {
        const TransferStatus status = interface->writeReport(report);
        if (status != TransferStatus::Success) {
            result = false;
            systemLog("Write failed with error 0x%x\n", static_cast<unsigned>(status));
        }
    }
    for (const auto &device : hid) {
        systemLog("Sending HID report\n");
        const TransferStatus status = device->setOutputReport(report);
        if (status == TransferStatus::Success) {
            systemLog("Report sent.\n");
            continue;
        }
        result = false;
        systemLog("Send failed with error %x\n", static_cast<unsigned>(status));
        if (status == TransferStatus::NotResponding) {
            std::function<void()> reset;
            {
                std::lock_guard lock(m_handlerMutex);
                reset = m_stuckVideoReset;
            }
            if (reset)
                reset();
        }
    }
    return result;
}

// ---- Decoding -------------------------------------------------------------------

void DeviceLink::printHIDBuffer(const std::uint8_t *buffer)
{
    const std::string rows = formatReportRows(std::span<const std::uint8_t>(buffer, kReportSize));
    systemLog("Report data:\n%s", rows.c_str());
}

bool DeviceLink::parseHIDResponse(std::span<const std::uint8_t> data)
{
    if (data.empty())
        return false;
    Report report{};
    std::copy_n(data.begin(), std::min(data.size(), kReportSize), report.begin());
    const std::uint8_t code = report[0];

    if (code == HIDReportJunk) {
        {
            std::lock_guard lock(m_lock);
            for (const auto &interface : m_usbInterfaces)
                interface->clearPipeStallBothEnds(1);
        }
        printHIDBuffer(report.data());
        return true;
    }
    if (!isKnownReportCode(code)) {
        const std::string rows = formatReportRows(report);
        const std::string text = raw16BitText(report);
        systemLog("Unknown report code:\n%sIn ASCII: %s\n", rows.c_str(), text.c_str());
        printHIDBuffer(report.data());
        return false;
    }
    decodeKnownReport(report);
    printHIDBuffer(report.data());
    return true;
}

void DeviceLink::forwardToDiagnosticWindow(long code)
{
    if (!m_viewer)
        return;
    if (DiagnosticSink *window = m_viewer->diagnosticWindow())
        window->handleButton(code);
}

void DeviceLink::decodeKnownReport(const Report &report)
{
    const std::uint8_t code = report[0];
    const bool diagnostic = m_diagnosticMode.load();
    ViewerActions *viewer = m_viewer;

    // Identity, battery, power and magic reports act the same in both modes.
    switch (code) {
    case HIDReportACPower:
        if (viewer)
            viewer->hideBatteryLevelIndicator();
        if (m_application)
            m_application->stopBatteryTimer();
        return;
    case HIDReportDeviceSerialNumber:
        setIdentity(&DeviceLink::m_deviceSerialNumber, &DeviceLink::m_gotDeviceSerialNumber, decode16BitText(report));
        if (viewer)
            viewer->checkForUpdates();
        return;
    case HIDReportDeviceFirmwareVersion:
        setIdentity(&DeviceLink::m_deviceFirmwareVersion, &DeviceLink::m_gotDeviceFirmwareVersion,
                    decode8BitText(report));
        if (viewer)
            viewer->checkForUpdates();
        return;
    case HIDReportBoardSerialNumber:
        setIdentity(&DeviceLink::m_boardSerialNumber, &DeviceLink::m_gotBoardSerialNumber, decode16BitText(report));
        if (viewer)
            viewer->checkForUpdates();
        return;
    case HIDReportBootFirmwareVersion:
        setIdentity(&DeviceLink::m_bootFirmwareVersion, &DeviceLink::m_gotBootFirmwareVersion, decode8BitText(report));
        if (viewer)
            viewer->checkForUpdates();
        return;
    case HIDReportBatteryLevel3:
    case HIDReportBatteryLevel2:
    case HIDReportBatteryLevel1:
        if (viewer) {
            const long level = 3 - (code - HIDReportBatteryLevel3);
            viewer->setBatteryLevel(level);
            viewer->showBatteryLevelIndicator();
        }
        if (code == HIDReportBatteryLevel3 && m_application)
            m_application->startBatteryTimer();
        return;
    case HIDReportMagic:
        systemLog("Received magic: 0x%02x 0x%02x 0x%02x 0x%02x.  Ignoring.\n", report[0], report[1], report[2],
                  report[3]);
        return;
    default:
        break;
    }

    if (diagnostic) {
        // The on-screen display toggle is counted with the freeze button.
        forwardToDiagnosticWindow(code == HIDReportOSDToggle ? long{HIDReportOSDHide} : long{code});
        return;
    }
    if (!viewer)
        return;
    switch (code) {
    case HIDReportFreezeButton:
        viewer->freezeFrame();
        break;
    case HIDReportRotateButton:
        viewer->rotateWindowUIAction();
        break;
    case HIDReportModeButton:
        if (viewer->OSDIsVisible())
            sendOSDReturn();
        else
            viewer->nextColorMode();
        break;
    case HIDReportFindPressed:
        viewer->findZoomPositionEnter();
        break;
    case HIDReportOSDToggle:
        viewer->showHideOnScreenDisplay();
        break;
    case HIDReportZoomIn:
    case HIDReportZoomIn2:
    case HIDReportZoomIn3:
        if (viewer->OSDIsVisible())
            sendOSDUpArrow();
        else if (viewer->zoomScrollsGuides())
            viewer->scrollDownwards();
        else if (viewer->zoomChangesGuideSpacing())
            viewer->increaseLineSeparation();
        else
            viewer->zoomCameraIn();
        break;
    case HIDReportZoomOut:
    case HIDReportZoomOut2:
    case HIDReportZoomOut3:
        if (viewer->OSDIsVisible())
            sendOSDDownArrow();
        else if (viewer->zoomScrollsGuides())
            viewer->scrollUpwards();
        else if (viewer->zoomChangesGuideSpacing())
            viewer->decreaseLineSeparation();
        else
            viewer->zoomCameraOut();
        break;
    case HIDReportPositionDocument:
        viewer->setQuadrelPhysicalOrientation(0);
        break;
    case HIDReportPositionFar:
        viewer->setQuadrelPhysicalOrientation(1);
        break;
    case HIDReportPositionSelf:
        viewer->setQuadrelPhysicalOrientation(2);
        break;
    case HIDReportModeHold:
        viewer->setChosenPreferredColorMode(0);
        break;
    case HIDReportFactoryReset:
        viewer->factoryReset();
        break;
    case HIDReportLightOn:
        viewer->setLightIsOn(true);
        break;
    case HIDReportLightOff:
        viewer->setLightIsOn(false);
        break;
    case HIDReportFindReleased:
        viewer->findZoomPositionExit();
        break;
    case HIDReportUnfreeze:
        viewer->unfreezeFrame();
        break;
    case HIDReportOSDHide:
        viewer->hideOnScreenDisplay();
        break;
    default:
        break;
    }
}

void DeviceLink::sendOSDKey(unsigned short keyCode, int qtKey)
{
    if (!m_viewer)
        return;
    OSDKeyReceiver *list = m_viewer->OSDTableView();
    if (!list)
        return;
    SyntheticKeyEvent event;
    event.keyCode = keyCode;
    event.qtKey = qtKey;
    event.windowNumber = m_viewer->videoWindowNumber();
    list->keyDown(event);
}

void DeviceLink::sendOSDReturn()
{
    sendOSDKey(kKeyCodeReturn, Qt::Key_Return);
}

void DeviceLink::sendOSDUpArrow()
{
    sendOSDKey(kKeyCodeUpArrow, Qt::Key_Up);
}

void DeviceLink::sendOSDDownArrow()
{
    sendOSDKey(kKeyCodeDownArrow, Qt::Key_Down);
}

} // namespace kelvo::device
