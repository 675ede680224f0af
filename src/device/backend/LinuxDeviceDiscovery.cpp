#include "device/backend/LinuxDeviceDiscovery.h"

#include <cstdlib>

#include <QMetaObject>
#include <QObject>

#include "device/backend/LaunchEventChannel.h"
#include "device/backend/LinuxUsbBus.h"
#include "device/backend/UDisksUnmounter.h"
#include "device/backend/UdevHandles.h"
#include "device/backend/UdevMonitor.h"

namespace kelvo::device {

AttachEvent attachEventForPresentCamera()
{
    AttachEvent event;
    const UdevPtr context(udev_new());
    if (!context)
        return event;
    const UdevEnumeratePtr cameras(udev_enumerate_new(context.get()));
    udev_enumerate_add_match_subsystem(cameras.get(), "usb");
    udev_enumerate_add_match_property(cameras.get(), "DEVTYPE", "usb_device");
    udev_enumerate_add_match_sysattr(cameras.get(), "idVendor", "202c");
    udev_enumerate_add_match_sysattr(cameras.get(), "idProduct", "0082");
    udev_enumerate_scan_devices(cameras.get());
    if (udev_list_entry *entry = udev_enumerate_get_list_entry(cameras.get())) {
        if (const UdevDevicePtr camera{udev_device_new_from_syspath(context.get(), udev_list_entry_get_name(entry))}) {
            const char *busnum = udev_device_get_sysattr_value(camera.get(), "busnum");
            const char *devnum = udev_device_get_sysattr_value(camera.get(), "devnum");
            if (busnum && devnum) {
                event.deviceAttach = QString::fromUtf8(udev_device_get_devpath(camera.get()));
                event.serviceID = attachServiceId(static_cast<std::uint8_t>(std::atoi(busnum)),
                                                  static_cast<std::uint8_t>(std::atoi(devnum)));
            }
        }
    }
    return event;
}

LinuxDeviceDiscovery::LinuxDeviceDiscovery(DeviceLink &link) : LinuxDeviceDiscovery(link, Options{}) {}

LinuxDeviceDiscovery::LinuxDeviceDiscovery(DeviceLink &link, Options options)
    : m_bus(std::make_unique<LinuxUsbBus>()), m_unmounter(std::make_unique<UDisksUnmounter>(options.udisksBusAddress)),
      m_attachHandler(std::make_unique<DeviceAttachHandler>()),
      m_discovery(std::make_unique<DeviceDiscovery>(link, *m_bus)),
      m_channel(std::make_unique<LaunchEventChannel>(
          options.attachServerName.isEmpty() ? LaunchEventChannel::defaultServerName() : options.attachServerName)),
      m_deliverAttachEvents(std::make_shared<std::atomic<bool>>(false))
{
    m_discovery->setUnmountCameraDisk([unmounter = m_unmounter.get()] { unmounter->unmountCameraDisk(); });
    if (!options.watchBus)
        return;
    m_monitor = std::make_unique<UdevMonitor>(
        [this](const UsbBusEvent &event) {
            m_discovery->deviceArrived(event.device);
            if (event.device.vendorID == kQuadrelVendorID && event.device.productID == kQuadrelProductID &&
                m_deliverAttachEvents->load())
                postAttachEvent(
                    {QString::fromStdString(event.devpath), attachServiceId(event.device.bus, event.device.address)});
        },
        [this](const UsbBusEvent &event) { m_discovery->deviceDeparted(event.device.locationID); });
    m_monitor->start();
}

LinuxDeviceDiscovery::~LinuxDeviceDiscovery()
{
    // The watcher calls into discovery: stop it first.
    if (m_monitor)
        m_monitor->stop();
    m_deliverAttachEvents->store(false);
    m_channel.reset();
    m_discovery.reset();
}

bool LinuxDeviceDiscovery::isWatchingBus() const
{
    return m_monitor && m_monitor->isRunning();
}

void LinuxDeviceDiscovery::postAttachEvent(const AttachEvent &event)
{
    // The handler lives on the main thread; it is destroyed after the
    // watcher has stopped, so the queued call finds it.
    QMetaObject::invokeMethod(
        m_attachHandler->context(), [handler = m_attachHandler.get(), event] { handler->handleEvent(event); },
        Qt::QueuedConnection);
}

bool LinuxDeviceDiscovery::tellLaunchDaemonNotToRestartUs()
{
    m_deliverAttachEvents->store(true);
    return m_channel->listen([this](const AttachEvent &event) {
        // A launch with no camera present carries no arrival to act on; it
        // only asks for the viewer.
        if (event.serviceID != 0)
            m_attachHandler->handleEvent(event);
        if (m_relaunched)
            m_relaunched();
    });
}

} // namespace kelvo::device
