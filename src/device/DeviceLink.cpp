#include "device/DeviceLink.h"

#include <algorithm>

#include <QMetaObject>
#include <QObject>

#include "common/SerialQueue.h"
#include "common/SystemLog.h"

namespace kelvo::device {
namespace {

const QString kNotDetected = QStringLiteral("NOT DETECTED");

template <typename T> void eraseAll(std::vector<std::shared_ptr<T>> &list, const std::shared_ptr<T> &item)
{
    list.erase(std::remove(list.begin(), list.end(), item), list.end());
}

} // namespace

DeviceLink::DeviceLink() : m_mainContext(std::make_unique<QObject>())
{
    resetDeviceInfo();
}

DeviceLink::~DeviceLink()
{
    std::vector<std::weak_ptr<VendorUsbInterface>> everUsb;
    std::vector<std::weak_ptr<HidDevice>> everHid;
    {
        std::lock_guard lock(m_lock);
        m_usbInterfaces.clear();
        m_hidInterfaces.clear();
        m_hidListeners.clear();
        m_retiredUsb.clear();
        m_retiredHid.clear();
        everUsb.swap(m_everUsb);
        everHid.swap(m_everHid);
    }
    // Readers and transfers call back into this object: stop them first.
    for (auto &weak : everUsb) {
        if (auto interface = weak.lock())
            interface->close();
    }
    for (auto &weak : everHid) {
        if (auto device = weak.lock())
            device->terminate();
    }
    m_sendQueue.reset();
    {
        std::lock_guard lock(m_burstMutex);
        m_bursts.clear();
    }
    std::unique_ptr<SerialQueue> deviceLinkQueue;
    std::unique_ptr<SerialQueue> removalQueue;
    {
        std::lock_guard lock(m_queueMutex);
        deviceLinkQueue = std::move(m_deviceLinkQueue);
        removalQueue = std::move(m_removalQueue);
    }
    // Pending removals run while the queues stop; they find this object whole.
    deviceLinkQueue.reset();
    removalQueue.reset();
}

void DeviceLink::createSendQueue(std::shared_ptr<SendClock> clock)
{
    if (m_sendQueue)
        return;
    if (!clock)
        clock = std::make_shared<SteadySendClock>();
    m_sendQueue =
        std::make_unique<SendQueue>([this](long command) { return sendHIDCommandNow(command); }, std::move(clock));
}

bool DeviceLink::startHIDInitialization()
{
    systemLog("Initializing HID device\n");
    std::lock_guard lock(m_queueMutex);
    if (m_initialized.load())
        return true;
    m_deviceLinkQueue = std::make_unique<SerialQueue>("HID dispatch queue");
    m_initialized.store(true);
    return true;
}

SerialQueue *DeviceLink::deviceLinkQueue() const
{
    std::lock_guard lock(m_queueMutex);
    return m_deviceLinkQueue.get();
}

void DeviceLink::setStuckVideoResetHandler(std::function<void()> handler)
{
    std::lock_guard lock(m_handlerMutex);
    m_stuckVideoReset = std::move(handler);
}

void DeviceLink::setFirmwareInstallerRoute(FirmwareInstallerRoute route)
{
    std::lock_guard lock(m_handlerMutex);
    m_firmwareRoute = std::move(route);
}

DeviceLink::FirmwareInstallerRoute DeviceLink::firmwareInstallerRoute() const
{
    std::lock_guard lock(m_handlerMutex);
    return m_firmwareRoute;
}

void DeviceLink::setFirmwareWatcherStarter(std::function<void(bool)> starter)
{
    std::lock_guard lock(m_handlerMutex);
    m_firmwareWatcherStarter = std::move(starter);
}

bool DeviceLink::startFirmwareWatcher(bool postUpdate)
{
    std::function<void(bool)> starter;
    {
        std::lock_guard lock(m_handlerMutex);
        starter = m_firmwareWatcherStarter;
    }
    if (!starter)
        return false;
    starter(postUpdate);
    return true;
}

// ---- Identity ---------------------------------------------------------------

void DeviceLink::resetDeviceInfo()
{
    std::lock_guard lock(m_identityMutex);
    m_deviceSerialNumber = kNotDetected;
    m_boardSerialNumber = kNotDetected;
    m_deviceFirmwareVersion = kNotDetected;
    m_bootFirmwareVersion = kNotDetected;
    m_gotDeviceSerialNumber = false;
    m_gotBoardSerialNumber = false;
    m_gotDeviceFirmwareVersion = false;
    m_gotBootFirmwareVersion = false;
}

#define KELVO_IDENTITY_GETTER(type, name, member)                                                                      \
    type DeviceLink::name() const                                                                                      \
    {                                                                                                                  \
        std::lock_guard lock(m_identityMutex);                                                                         \
        return member;                                                                                                 \
    }
KELVO_IDENTITY_GETTER(QString, deviceSerialNumber, m_deviceSerialNumber)
KELVO_IDENTITY_GETTER(QString, boardSerialNumber, m_boardSerialNumber)
KELVO_IDENTITY_GETTER(QString, deviceFirmwareVersion, m_deviceFirmwareVersion)
KELVO_IDENTITY_GETTER(QString, bootFirmwareVersion, m_bootFirmwareVersion)
KELVO_IDENTITY_GETTER(bool, gotDeviceSerialNumber, m_gotDeviceSerialNumber)
KELVO_IDENTITY_GETTER(bool, gotBoardSerialNumber, m_gotBoardSerialNumber)
KELVO_IDENTITY_GETTER(bool, gotDeviceFirmwareVersion, m_gotDeviceFirmwareVersion)
KELVO_IDENTITY_GETTER(bool, gotBootFirmwareVersion, m_gotBootFirmwareVersion)
#undef KELVO_IDENTITY_GETTER

void DeviceLink::setIdentity(QString DeviceLink::*field, bool DeviceLink::*flag, const QString &value)
{
    std::lock_guard lock(m_identityMutex);
    this->*field = value;
    this->*flag = true;
}

bool DeviceLink::testAndSetUpdateScannerLatch(bool postUpdate)
{
    std::lock_guard lock(m_lock);
    bool &latch = postUpdate ? m_postUpdateScannerRunning : m_preUpdateScannerRunning;
    const bool previous = latch;
    latch = true;
    return previous;
}

// ---- Thread hand-offs ---------------------------------------------------------

void DeviceLink::postToMain(std::function<void()> task)
{
    QMetaObject::invokeMethod(m_mainContext.get(), std::move(task), Qt::QueuedConnection);
}

void DeviceLink::runOnDeviceLinkQueue(std::function<void()> task)
{
    std::lock_guard lock(m_queueMutex);
    if (m_deviceLinkQueue) {
        m_deviceLinkQueue->async(std::move(task));
        return;
    }
    if (!m_removalQueue)
        m_removalQueue = std::make_unique<SerialQueue>("device removal");
    m_removalQueue->async(std::move(task));
}

void DeviceLink::handleUSBData(const std::uint8_t *buffer)
{
    if (!buffer)
        return;
    Report copy;
    std::copy(buffer, buffer + kReportSize, copy.begin());
    postToMain([this, copy] { parseHIDResponse(copy); });
}

// ---- Open devices -------------------------------------------------------------

std::shared_ptr<VendorUsbInterface> DeviceLink::makeVendorInterface(std::unique_ptr<UsbPipeIo> io,
                                                                    std::uint8_t readPipe, std::uint8_t writePipe)
{
    VendorUsbInterface::Callbacks callbacks;
    callbacks.handleUSBData = [this](const Report &report) { handleUSBData(report.data()); };
    callbacks.deviceRemoved = [this](const std::shared_ptr<VendorUsbInterface> &interface) {
        deviceRemoved(interface);
    };
    callbacks.readerEnded = [this](const std::shared_ptr<VendorUsbInterface> &interface) {
        postToMain([this, interface] { removeHIDListener(interface); });
    };
    auto interface = VendorUsbInterface::create(std::move(io), std::move(callbacks), readPipe, writePipe);
    std::lock_guard lock(m_lock);
    std::erase_if(m_everUsb, [](const auto &weak) { return weak.expired(); });
    m_everUsb.push_back(interface);
    return interface;
}

std::shared_ptr<HidDevice> DeviceLink::makeHidDevice(std::unique_ptr<HidDeviceIo> io)
{
    HidDevice::Callbacks callbacks;
    callbacks.inputReport = [this](const Report &report) { handleUSBData(report.data()); };
    callbacks.deviceRemoved = [this](const std::shared_ptr<HidDevice> &device) { hidDeviceRemoved(device); };
    auto device = HidDevice::create(std::move(io), std::move(callbacks));
    std::lock_guard lock(m_lock);
    std::erase_if(m_everHid, [](const auto &weak) { return weak.expired(); });
    m_everHid.push_back(device);
    return device;
}

std::shared_ptr<VendorUsbInterface> DeviceLink::attachVendorInterface(std::unique_ptr<UsbPipeIo> io)
{
    auto interface = makeVendorInterface(std::move(io));
    addInterfaceInterface(interface);
    interface->clearPipeStallBothEnds(interface->readPipe());
    addHIDListener(interface);
    interface->startReader();
    if (!sendHIDCommand(HIDCommandPowerUp))
        systemLog("Could not send power up command.\n");
    return interface;
}

std::shared_ptr<HidDevice> DeviceLink::attachHIDDevice(std::unique_ptr<HidDeviceIo> io)
{
    auto device = makeHidDevice(std::move(io));
    addHIDInterface(device);
    device->startReader();
    if (!sendHIDCommand(HIDCommandPowerUp))
        systemLog("Could not send power up command.\n");
    return device;
}

void DeviceLink::addInterfaceInterface(std::shared_ptr<VendorUsbInterface> interface)
{
    std::lock_guard lock(m_lock);
    m_usbInterfaces.push_back(std::move(interface));
}

void DeviceLink::removeInterfaceInterface(const std::shared_ptr<VendorUsbInterface> &interface)
{
    std::lock_guard lock(m_lock);
    eraseAll(m_usbInterfaces, interface);
}

void DeviceLink::addHIDInterface(std::shared_ptr<HidDevice> device)
{
    std::lock_guard lock(m_lock);
    m_hidInterfaces.push_back(std::move(device));
}

void DeviceLink::removeHIDInterface(const std::shared_ptr<HidDevice> &device)
{
    {
        std::lock_guard lock(m_lock);
        eraseAll(m_hidInterfaces, device);
    }
    // Terminating waits for the device's reader, which may be waiting for
    // this lock: never terminate while holding it.
    terminateHIDDevice(device);
}

void DeviceLink::addHIDListener(std::shared_ptr<VendorUsbInterface> listener)
{
    std::lock_guard lock(m_lock);
    m_hidListeners.push_back(std::move(listener));
}

void DeviceLink::removeHIDListener(const std::shared_ptr<VendorUsbInterface> &listener)
{
    {
        std::lock_guard lock(m_lock);
        eraseAll(m_hidListeners, listener);
    }
    if (listener)
        listener->cancelReader();
}

bool DeviceLink::isListeningOnDevice(std::uint32_t locationID) const
{
    std::lock_guard lock(m_lock);
    for (const auto &interface : m_usbInterfaces) {
        if (interface->locationID() == locationID)
            return true;
    }
    for (const auto &device : m_hidInterfaces) {
        if (device->locationID() == locationID)
            return true;
    }
    return false;
}

void DeviceLink::terminateHIDDevice(const std::shared_ptr<HidDevice> &device)
{
    if (device)
        device->terminate();
}

void DeviceLink::terminateAllUSBThreads()
{
    if (!sendHIDCommand(HIDCommandPowerDown))
        systemLog("Could not send power down command.\n");
    std::vector<std::shared_ptr<VendorUsbInterface>> listeners;
    {
        std::lock_guard lock(m_lock);
        // The devices leave the lists at once but stay reachable by the send
        // queue as retired devices until the power-down report has gone.
        m_retiredHid.insert(m_retiredHid.end(), m_hidInterfaces.begin(), m_hidInterfaces.end());
        m_hidInterfaces.clear();
        m_retiredUsb.insert(m_retiredUsb.end(), m_usbInterfaces.begin(), m_usbInterfaces.end());
        m_usbInterfaces.clear();
        listeners.swap(m_hidListeners);
    }
    for (const auto &listener : listeners) {
        systemLog("Killing thread %p\n", static_cast<void *>(listener.get()));
        listener->cancelReader();
    }
    if (m_sendQueue)
        m_sendQueue->runAfterQueued([this] { closeRetiredDevices(); });
    else
        closeRetiredDevices();
}

void DeviceLink::closeRetiredDevices()
{
    std::vector<std::shared_ptr<VendorUsbInterface>> usb;
    std::vector<std::shared_ptr<HidDevice>> hid;
    {
        std::lock_guard lock(m_lock);
        usb.swap(m_retiredUsb);
        hid.swap(m_retiredHid);
    }
    for (const auto &device : hid)
        terminateHIDDevice(device);
    for (const auto &interface : usb)
        interface->close();
}

void DeviceLink::deviceRemoved(const std::shared_ptr<VendorUsbInterface> &interface)
{
    if (!interface || !interface->markRemoved())
        return;
    runOnDeviceLinkQueue([this, interface] {
        removeInterfaceInterface(interface);
        {
            std::lock_guard lock(m_lock);
            eraseAll(m_hidListeners, interface);
            eraseAll(m_retiredUsb, interface);
        }
        resetDeviceInfo();
        interface->close();
    });
}

void DeviceLink::hidDeviceRemoved(const std::shared_ptr<HidDevice> &device)
{
    if (!device)
        return;
    // HID removal is handled on the main thread, where the HID devices live.
    postToMain([this, device] {
        {
            std::lock_guard lock(m_lock);
            eraseAll(m_retiredHid, device);
        }
        removeHIDInterface(device);
        resetDeviceInfo();
    });
}

std::vector<std::shared_ptr<VendorUsbInterface>> DeviceLink::usbInterfaces() const
{
    std::lock_guard lock(m_lock);
    return m_usbInterfaces;
}

std::vector<std::shared_ptr<HidDevice>> DeviceLink::hidInterfaces() const
{
    std::lock_guard lock(m_lock);
    return m_hidInterfaces;
}

std::vector<std::shared_ptr<VendorUsbInterface>> DeviceLink::hidListeners() const
{
    std::lock_guard lock(m_lock);
    return m_hidListeners;
}

void DeviceLink::waitForSendQueue()
{
    if (m_sendQueue)
        m_sendQueue->waitUntilIdle();
}

} // namespace kelvo::device
