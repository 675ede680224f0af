#pragma once

#include <libudev.h>

#include <memory>

namespace kelvo::device {

// Owners of one libudev reference each, so that every return path drops what
// it took. A device reached through another (udev_device_get_parent...) is
// owned by its child and is not wrapped.

struct UdevUnref {
    void operator()(udev *context) const { udev_unref(context); }
    void operator()(udev_device *device) const { udev_device_unref(device); }
    void operator()(udev_enumerate *enumerate) const { udev_enumerate_unref(enumerate); }
    void operator()(udev_monitor *monitor) const { udev_monitor_unref(monitor); }
};

using UdevPtr = std::unique_ptr<udev, UdevUnref>;
using UdevDevicePtr = std::unique_ptr<udev_device, UdevUnref>;
using UdevEnumeratePtr = std::unique_ptr<udev_enumerate, UdevUnref>;
using UdevMonitorPtr = std::unique_ptr<udev_monitor, UdevUnref>;

} // namespace kelvo::device
