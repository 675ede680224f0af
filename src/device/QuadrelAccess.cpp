#include "device/QuadrelAccess.h"

#include "device/UsbBus.h"

#include <cerrno>
#include <cstdio>

#include <unistd.h>

namespace kelvo::device {
namespace {

bool denied(const std::string &node)
{
    return ::access(node.c_str(), R_OK | W_OK) != 0 && errno != ENOENT;
}

} // namespace

std::string usbfsNode(const UsbCandidate &device)
{
    char node[32];
    std::snprintf(node, sizeof node, "/dev/bus/usb/%03u/%03u", unsigned(device.bus), unsigned(device.address));
    return node;
}

QuadrelAccess checkQuadrelAccess(UsbBus &bus)
{
    QuadrelAccess result;
    for (std::uint16_t product : {kQuadrelProductID, kQuadrelFirmwareUpdateProductID}) {
        for (const UsbCandidate &device : bus.enumerateUsb(kQuadrelVendorID, product)) {
            result.present = true;
            if (const std::string node = usbfsNode(device); denied(node))
                result.deniedNodes.push_back(node);
        }
    }
    for (const HidCandidate &device : bus.enumerateHid(kQuadrelVendorID, kQuadrelProductID)) {
        result.present = true;
        if (denied(device.path))
            result.deniedNodes.push_back(device.path);
    }
    return result;
}

} // namespace kelvo::device
