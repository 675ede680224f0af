#include "device/backend/UdevMonitor.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include "common/SystemLog.h"
#include "device/LocationId.h"

namespace kelvo::device {
namespace {

// Reads the event's device from its properties: a removed device's sysfs
// attributes are gone by the time the event is read.
bool describe(udev_device *device, UsbBusEvent &event)
{
    const char *busnum = udev_device_get_property_value(device, "BUSNUM");
    const char *devnum = udev_device_get_property_value(device, "DEVNUM");
    const char *product = udev_device_get_property_value(device, "PRODUCT"); // "202c/82/100"
    const char *sysname = udev_device_get_sysname(device);                   // "1-1.4"
    const char *devpath = udev_device_get_devpath(device);
    if (!busnum || !devnum || !product || !sysname)
        return false;
    unsigned vendor = 0, productID = 0;
    if (std::sscanf(product, "%x/%x", &vendor, &productID) != 2)
        return false;
    event.device.bus = static_cast<std::uint8_t>(std::atoi(busnum));
    event.device.address = static_cast<std::uint8_t>(std::atoi(devnum));
    event.device.vendorID = static_cast<std::uint16_t>(vendor);
    event.device.productID = static_cast<std::uint16_t>(productID);
    const char *ports = std::strchr(sysname, '-');
    event.device.locationID = ports ? locationIdFromDevpath(event.device.bus, ports + 1) : 0;
    event.devpath = devpath ? devpath : "";
    return true;
}

} // namespace

UdevMonitor::UdevMonitor(Handler added, Handler removed) : m_added(std::move(added)), m_removed(std::move(removed)) {}

UdevMonitor::~UdevMonitor()
{
    stop();
}

bool UdevMonitor::start()
{
    if (m_thread.joinable())
        return true;
    m_udev.reset(udev_new());
    if (m_udev)
        m_monitor.reset(udev_monitor_new_from_netlink(m_udev.get(), "udev"));
    if (!m_monitor || udev_monitor_filter_add_match_subsystem_devtype(m_monitor.get(), "usb", "usb_device") < 0 ||
        udev_monitor_enable_receiving(m_monitor.get()) < 0) {
        systemLog("Could not watch udev for the camera\n");
        stop();
        return false;
    }
    m_stopFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (m_stopFd < 0) {
        systemLog("Could not watch udev for the camera\n");
        stop();
        return false;
    }
    m_thread = std::thread([this] { run(); });
    return true;
}

void UdevMonitor::stop()
{
    if (m_thread.joinable()) {
        const std::uint64_t one = 1;
        const ssize_t written = ::write(m_stopFd, &one, sizeof one);
        (void)written;
        m_thread.join();
    }
    if (m_stopFd >= 0)
        ::close(m_stopFd);
    m_stopFd = -1;
    m_monitor.reset();
    m_udev.reset();
}

void UdevMonitor::run()
{
    const int monitorFd = udev_monitor_get_fd(m_monitor.get());
    for (;;) {
        pollfd fds[2] = {{monitorFd, POLLIN, 0}, {m_stopFd, POLLIN, 0}};
        const int ready = ::poll(fds, 2, -1);
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        if (fds[1].revents)
            return;
        if (!(fds[0].revents & POLLIN))
            continue;
        const UdevDevicePtr device(udev_monitor_receive_device(m_monitor.get()));
        if (!device)
            continue;
        const char *action = udev_device_get_action(device.get());
        UsbBusEvent event;
        if (action && describe(device.get(), event)) {
            if (std::strcmp(action, "add") == 0 && m_added)
                m_added(event);
            else if (std::strcmp(action, "remove") == 0 && m_removed)
                m_removed(event);
        }
    }
}

} // namespace kelvo::device
