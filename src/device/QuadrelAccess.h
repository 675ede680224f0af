#pragma once

#include <string>
#include <vector>

namespace kelvo::device {

class UsbBus;
struct UsbCandidate;

// Whether this user can talk to the Quadrel on the bus. The picture needs no
// such access (the kernel's video driver serves it to everyone at the
// console); the camera's buttons, head position and firmware mode do, through
// its USB and HID nodes, which the udev rule opens to the logged-in user.
struct QuadrelAccess {
    // A Quadrel is on the bus, in camera or firmware-update mode.
    bool present = false;
    // Its nodes this user cannot both read and write.
    std::vector<std::string> deniedNodes;

    bool needsPermission() const { return present && !deniedNodes.empty(); }
};

// The usbfs node of a device on the bus: "/dev/bus/usb/BBB/DDD".
std::string usbfsNode(const UsbCandidate &device);

// Looks at every Quadrel node on the bus. A node that has gone between the
// listing and the check counts as accessible: the device went, not the
// permission.
QuadrelAccess checkQuadrelAccess(UsbBus &bus);

} // namespace kelvo::device
