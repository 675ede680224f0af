#include "device/UsbStatus.h"

#include <cstdio>

namespace kelvo::device {

std::string IOReturnDescription(IOReturn status)
{
    switch (status) {
    case kIOReturnSuccess:
        return "success";
    case kIOReturnNotOpen:
        return "not open";
    case kIOReturnNoDevice:
        return "noDevice";
    default: {
        char text[32];
        std::snprintf(text, sizeof text, "UNKNOWN (%x)", static_cast<unsigned>(status));
        return text;
    }
    }
}

} // namespace kelvo::device
