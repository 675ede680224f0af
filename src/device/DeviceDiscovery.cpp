#include "device/DeviceDiscovery.h"

#include <cstdio>

#include "common/SerialQueue.h"
#include "common/SystemLog.h"
#include "device/DeviceLink.h"
#include "device/VendorUsbInterface.h"

namespace kelvo::device {
namespace {

using namespace std::chrono_literals;

constexpr int kMaxHidPasses = 100;
constexpr int kMaxSessionAttempts = 5;
constexpr int kMaxDeviceOpenAttempts = 10;

InterfaceSearch interfaceSearch(AttachMode mode)
{
    switch (mode) {
    case AttachMode::Camera:
        return {3, -1, -1};
    case AttachMode::FirmwareUpdate:
        return {0xFF, -1, 0xFF};
    case AttachMode::ResetPipeStall:
        // Taking the video interface from the video driver would tear down
        // the capture this reset is meant to rescue.
        return {14, -1, -1, false};
    case AttachMode::CameraPostUpdate:
        break;
    }
    return {};
}

const char *directionName(int direction)
{
    switch (direction) {
    case 0:
        return "OUT";
    case 1:
        return "IN";
    case 3:
        return "INOUT";
    default:
        return "UNKNOWN";
    }
}

const char *transferTypeName(int type)
{
    switch (type) {
    case 0:
        return "Control";
    case 1:
        return "Isoch";
    case 2:
        return "Bulk";
    case 3:
        return "Interrupt";
    case 0xFF:
        return "Any";
    default:
        return "UNKNOWN";
    }
}

} // namespace

const char *attachModeLogName(AttachMode mode)
{
    switch (mode) {
    case AttachMode::Camera:
        return "camera";
    case AttachMode::FirmwareUpdate:
        return "firmware update";
    case AttachMode::CameraPostUpdate:
        return "camera post-update";
    case AttachMode::ResetPipeStall:
        return "resetPipeStall";
    }
    return "camera";
}

DeviceDiscovery::DeviceDiscovery(DeviceLink &link, UsbBus &bus) : m_link(link), m_bus(bus)
{
    m_link.setStuckVideoResetHandler([this] { resetStuckVideoDevice(); });
    m_link.setFirmwareWatcherStarter([this](bool postUpdate) { startFirmwareUpdateScanner(postUpdate); });
}

DeviceDiscovery::~DeviceDiscovery()
{
    m_link.setStuckVideoResetHandler({});
    m_link.setFirmwareWatcherStarter({});
    // A send in progress may hold a copy of the handler: let it finish.
    m_link.waitForSendQueue();
    {
        std::lock_guard lock(m_stopMutex);
        m_stopping.store(true);
    }
    m_stopWake.notify_all();
    // Tasks already queued refer to this object: let them finish (their
    // waits now end at once) before it goes.
    if (SerialQueue *queue = m_link.deviceLinkQueue(); queue && !queue->isCurrent())
        queue->sync([] {});
    std::vector<std::thread> uploads;
    {
        std::lock_guard lock(m_stopMutex);
        uploads.swap(m_uploads);
    }
    for (auto &thread : uploads) {
        if (thread.joinable())
            thread.join();
    }
}

void DeviceDiscovery::setFirmwareUploadHandler(FirmwareUploadHandler handler)
{
    std::lock_guard lock(m_handlerMutex);
    m_uploadHandler = std::move(handler);
}

void DeviceDiscovery::setFirmwareUploadStateSetter(std::function<void(std::int32_t)> setter)
{
    std::lock_guard lock(m_handlerMutex);
    m_uploadStateSetter = std::move(setter);
}

void DeviceDiscovery::setUnmountCameraDisk(std::function<void()> unmount)
{
    std::lock_guard lock(m_handlerMutex);
    m_unmountCameraDisk = std::move(unmount);
}

void DeviceDiscovery::setSleeper(Sleeper sleeper)
{
    std::lock_guard lock(m_handlerMutex);
    m_sleeper = std::move(sleeper);
}

void DeviceDiscovery::runOnQueue(std::function<void()> task)
{
    SerialQueue *queue = m_link.deviceLinkQueue();
    if (!queue) {
        systemLog("Device discovery runs before HID initialization\n");
        return;
    }
    queue->async(std::move(task));
}

bool DeviceDiscovery::sleepFor(std::chrono::milliseconds duration)
{
    Sleeper sleeper;
    {
        std::lock_guard lock(m_handlerMutex);
        sleeper = m_sleeper;
    }
    if (m_stopping.load())
        return false;
    if (sleeper)
        return sleeper(duration) && !m_stopping.load();
    std::unique_lock lock(m_stopMutex);
    return !m_stopWake.wait_for(lock, duration, [this] { return m_stopping.load(); });
}

void DeviceDiscovery::setFirmwareUploadState(std::int32_t state)
{
    std::function<void(std::int32_t)> setter;
    {
        std::lock_guard lock(m_handlerMutex);
        setter = m_uploadStateSetter;
    }
    if (!setter)
        setter = m_link.firmwareInstallerRoute().setState;
    if (setter)
        setter(state);
    else
        m_link.storeFirmwareUploadState(state);
}

void DeviceDiscovery::unmountCameraDisk()
{
    std::function<void()> unmount;
    {
        std::lock_guard lock(m_handlerMutex);
        unmount = m_unmountCameraDisk;
    }
    if (unmount)
        unmount();
}

// ---- Scans ------------------------------------------------------------------------

void DeviceDiscovery::doHIDRescan()
{
    systemLog("HID rescan running.\n");
    runOnQueue([this] { scanHIDDevices(); });
}

void DeviceDiscovery::scanHIDDevices()
{
    if (!m_bus.hidAvailable()) {
        systemLog("Could not create HID manager\n");
        deviceAddedMainLegacy();
        return;
    }
    const std::vector<HidCandidate> devices = m_bus.enumerateHid(kQuadrelVendorID, kQuadrelProductID);
    if (devices.empty()) {
        systemLog("No HID-capable Quadrel devices found.\n");
        deviceAddedMainLegacy();
        return;
    }

    bool passFailed = true;
    for (int pass = 0; pass < kMaxHidPasses && passFailed && !m_stopping.load(); ++pass) {
        passFailed = false;
        for (const HidCandidate &candidate : devices) {
            systemLog("locationID: %d\n", static_cast<int>(candidate.locationID));
            TransferStatus status = TransferStatus::Error;
            std::unique_ptr<HidDeviceIo> io;
            // The device is opened seized: a device this program already
            // holds refuses a second open, as any other user's would.
            if (m_link.isListeningOnDevice(candidate.locationID))
                status = TransferStatus::ExclusiveAccess;
            else
                io = m_bus.openHid(candidate, &status);
            if (!io) {
                if (m_link.isListeningOnDevice(candidate.locationID)) {
                    standardOutput("Ignoring interface open error because we have already opened it (error: %x)\n",
                                   static_cast<unsigned>(status));
                    continue;
                }
                systemLog("HID device open returned %d\n", static_cast<int>(status));
                passFailed = true;
                continue;
            }
            m_link.attachHIDDevice(std::move(io));
        }
    }
    systemLog("Found HID-compatible Quadrel\n");
    unmountCameraDisk();
}

void DeviceDiscovery::deviceAddedMainLegacy()
{
    for (int round = 0; round < m_maxLegacyRounds; ++round) {
        const auto devices = m_bus.enumerateUsb(kQuadrelVendorID, kQuadrelProductID);
        if (deviceAdded(devices, AttachMode::Camera))
            return;
        if (round + 1 < m_maxLegacyRounds && !sleepFor(2s))
            return;
    }
}

bool DeviceDiscovery::deviceAdded(const std::vector<UsbCandidate> &devices, AttachMode mode)
{
    bool allAttached = true;
    for (const UsbCandidate &device : devices) {
        if (m_stopping.load())
            return false;
        bool endIteration = false;
        if (!attachOne(device, mode, endIteration))
            allAttached = false;
        if (endIteration)
            break;
    }
    return allAttached;
}

bool DeviceDiscovery::attachOne(const UsbCandidate &device, AttachMode mode, bool &endIteration)
{
    systemLog("Got Quadrel device in %s mode\n", attachModeLogName(mode));
    unmountCameraDisk();
    std::fprintf(stderr, "USB device: bus %u address %u idVendor 0x%04x idProduct 0x%04x locationID 0x%08x\n",
                 device.bus, device.address, device.vendorID, device.productID, device.locationID);

    const std::int32_t state = m_link.firmwareUploadState();
    if (mode == AttachMode::CameraPostUpdate) {
        if (state == kWaitingForDeviceInDFUMode) {
            systemLog("After update handler ignoring device attach because we're waiting for it in DFU mode.\n");
            return true;
        }
        // The camera is back: the installer has what it waited for, and the
        // other devices of this arrival are not looked at.
        endIteration = true;
        if (state == kFirmwareStateAfterUpdate) {
            systemLog("Changing to kWaitingForDeviceInDFUMode\n");
            setFirmwareUploadState(kWaitingForDeviceInDFUMode);
        } else if (state != kFirmwareStateFatal) {
            systemLog("Changing to kDeviceReappeared\n");
            setFirmwareUploadState(kDeviceReappeared);
        }
        return true;
    }
    if (mode == AttachMode::FirmwareUpdate && state != kWaitingForDeviceInDFUMode) {
        systemLog("After update handler ignoring device attach because we're NOT waiting for it in DFU mode.\n");
        return true;
    }

    auto fail = [&](Step step) {
        // A firmware-update device that cannot be configured or has no
        // interface ends the procedure that waits for it. Failures of the
        // other modes leave the installer alone: it is in state 0 whenever no
        // update runs, and a camera-mode or pipe-stall attach says nothing
        // about the device it waits for.
        if (mode == AttachMode::FirmwareUpdate && (step == Step::Configure || step == Step::FindInterface) &&
            m_link.firmwareUploadState() == kWaitingForDeviceInDFUMode)
            setFirmwareUploadState(kFirmwareStateFatal);
        systemLog("Something went wrong.\n");
        return false;
    };

    // Obtaining the device: busy or not yet ready answers are retried. The
    // bus watcher may announce a device before libusb's own hot-plug thread
    // has listed it (a camera entering its update mode is then missed for
    // good), so a device not found yet is asked for again as well.
    std::unique_ptr<UsbDeviceSession> session;
    TransferStatus status = TransferStatus::Error;
    for (int attempt = 0; attempt < kMaxSessionAttempts; ++attempt) {
        session = m_bus.createSession(device, &status);
        if (session || (status != TransferStatus::ExclusiveAccess && status != TransferStatus::Unsupported &&
                        status != TransferStatus::NoDevice))
            break;
        if (!sleepFor(200ms))
            break;
    }
    if (!session) {
        systemLog("Could not create interface: %x %d\n", static_cast<unsigned>(status), static_cast<int>(status));
        sleepFor(200ms);
        return fail(Step::CreateSession);
    }

    if (mode == AttachMode::FirmwareUpdate) {
        status = session->openDevice();
        for (int attempt = 1; status == TransferStatus::ExclusiveAccess && attempt < kMaxDeviceOpenAttempts;
             ++attempt) {
            if (!sleepFor(1s))
                break;
            status = session->openDevice();
        }
        if (status != TransferStatus::Success) {
            systemLog("Could not open device in DFU mode (error = 0x%x)\n", static_cast<unsigned>(status));
            return fail(Step::Configure);
        }
        std::uint8_t configuration = 0;
        status = session->configurationValue(configuration);
        if (status != TransferStatus::Success) {
            systemLog("Could not obtain configuration descriptor (error = 0x%x)\n", static_cast<unsigned>(status));
            session->closeDevice();
            return fail(Step::Configure);
        }
        session->setConfiguration(configuration);
        session->closeDevice();
    }

    if (mode == AttachMode::ResetPipeStall)
        systemLog("Scanning for interfaces to reset pipe stalls in\n");
    const InterfaceSearch search = interfaceSearch(mode);
    if (!session->hasInterface(search)) {
        systemLog("Device has no interfaces!\n");
        return fail(Step::FindInterface);
    }

    // Camera and firmware-update attach claim the interface this program
    // talks through, which it may already hold; the pipe-stall reset claims
    // the video interface beside it.
    std::unique_ptr<UsbPipeIo> io;
    if (mode != AttachMode::ResetPipeStall && m_link.isListeningOnDevice(device.locationID))
        status = TransferStatus::ExclusiveAccess;
    else
        io = session->openInterface(search, &status);
    if (!io) {
        if (m_link.isListeningOnDevice(device.locationID)) {
            standardOutput("Ignoring interface open error because we have already opened it (error: %x)\n",
                           static_cast<unsigned>(status));
            return true;
        }
        standardOutput("Could not open interface (error: %x)\n", static_cast<unsigned>(status));
        return fail(Step::OpenInterface);
    }

    const std::uint8_t readPipe = mode == AttachMode::FirmwareUpdate ? 0 : 1;
    const std::uint8_t writePipe = mode == AttachMode::FirmwareUpdate ? 0 : 2;

    if (mode == AttachMode::ResetPipeStall) {
        systemLog("Attempting to reset pipe stall...\n");
        const TransferStatus cleared = io->clearPipeStallBothEnds(readPipe);
        systemLog("ClearPipeStall returned %s\n", transferStatusDescription(cleared).c_str());
        io->close();
        systemLog("USBInterfaceClose returned %s\n", transferStatusDescription(TransferStatus::Success).c_str());
        systemLog("Done.\n");
        return true;
    }

    const std::vector<EndpointInfo> endpoints = session->endpoints(search);
    session.reset();
    auto interface = m_link.makeVendorInterface(std::move(io), readPipe, writePipe);
    m_link.addInterfaceInterface(interface);
    systemLog("Number of endpoints: %d\n", static_cast<int>(endpoints.size()));
    for (std::size_t i = 0; i < endpoints.size(); ++i) {
        const EndpointInfo &endpoint = endpoints[i];
        systemLog("Pipe %d: direction: %s, number: %d, transferType: %s, maxPacketSize:%d, interval: %d\n",
                  static_cast<int>(i + 1), directionName(endpoint.direction), endpoint.number,
                  transferTypeName(endpoint.transferType), endpoint.maxPacketSize, endpoint.interval);
    }
    if (readPipe != 0)
        interface->clearPipeStallBothEnds(readPipe);

    if (mode == AttachMode::Camera) {
        m_link.addHIDListener(interface);
        interface->startReader();
        if (!m_link.sendHIDCommand(HIDCommandPowerUp))
            systemLog("Could not send power up command.\n");
    } else {
        systemLog("Found quadrel in DFU (firmware update) mode\n");
        startUpload(interface);
    }
    return true;
}

void DeviceDiscovery::startUpload(const std::shared_ptr<VendorUsbInterface> &interface)
{
    FirmwareUploadHandler handler;
    {
        std::lock_guard lock(m_handlerMutex);
        handler = m_uploadHandler;
    }
    if (!handler)
        handler = m_link.firmwareInstallerRoute().upload;
    if (!handler) {
        systemLog("No firmware upload is waiting for the device; closing it.\n");
        m_link.removeInterfaceInterface(interface);
        interface->close();
        return;
    }
    std::lock_guard lock(m_stopMutex);
    if (m_stopping.load())
        return;
    m_uploads.emplace_back([handler = std::move(handler), interface] { handler(interface); });
}

// ---- Watchers -----------------------------------------------------------------------

void DeviceDiscovery::startFirmwareUpdateScanner(bool postUpdate)
{
    if (m_link.testAndSetUpdateScannerLatch(postUpdate))
        return;
    const std::uint16_t product = postUpdate ? kQuadrelProductID : kQuadrelFirmwareUpdateProductID;
    const AttachMode mode = postUpdate ? AttachMode::CameraPostUpdate : AttachMode::FirmwareUpdate;
    runOnQueue([this, product, mode] {
        {
            std::lock_guard lock(m_watcherMutex);
            m_watchers.push_back({product, mode});
        }
        deviceAdded(m_bus.enumerateUsb(kQuadrelVendorID, product), mode);
    });
}

void DeviceDiscovery::resetStuckVideoDevice()
{
    systemLog("Resetting stuck video device\n");
    runOnQueue([this] {
        {
            std::lock_guard lock(m_watcherMutex);
            m_watchers.push_back({kQuadrelProductID, AttachMode::ResetPipeStall});
        }
        deviceAdded(m_bus.enumerateUsb(kQuadrelVendorID, kQuadrelProductID), AttachMode::ResetPipeStall);
    });
}

int DeviceDiscovery::watcherCount(AttachMode mode) const
{
    std::lock_guard lock(m_watcherMutex);
    int count = 0;
    for (const Watcher &watcher : m_watchers)
        count += watcher.mode == mode ? 1 : 0;
    return count;
}

// ---- Bus events -------------------------------------------------------------------------

void DeviceDiscovery::deviceArrived(const UsbCandidate &device)
{
    if (device.vendorID != kQuadrelVendorID)
        return;
    runOnQueue([this, device] {
        std::vector<Watcher> watchers;
        {
            std::lock_guard lock(m_watcherMutex);
            watchers = m_watchers;
        }
        for (const Watcher &watcher : watchers) {
            if (watcher.productID == device.productID)
                deviceAdded({device}, watcher.mode);
        }
    });
}

void DeviceDiscovery::deviceDeparted(std::uint32_t locationID)
{
    runOnQueue([this, locationID] {
        for (const auto &interface : m_link.usbInterfaces()) {
            if (interface->locationID() == locationID)
                m_link.deviceRemoved(interface);
        }
        for (const auto &device : m_link.hidInterfaces()) {
            if (device->locationID() == locationID)
                m_link.hidDeviceRemoved(device);
        }
    });
}

} // namespace kelvo::device
