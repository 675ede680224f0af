#include "device/TransferStatus.h"

#include <cstdio>

namespace kelvo::device {

std::string transferStatusDescription(TransferStatus status)
{
    switch (status) {
    case TransferStatus::Success:
        return "success";
    case TransferStatus::NotOpen:
        return "not open";
    case TransferStatus::NoDevice:
        return "noDevice";
    default: {
        char text[32];
        std::snprintf(text, sizeof text, "UNKNOWN (%x)", static_cast<unsigned>(status));
        return text;
    }
    }
}

} // namespace kelvo::device
