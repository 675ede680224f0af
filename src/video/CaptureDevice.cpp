#include "video/CaptureDevice.h"

#include <cstdio>

namespace kelvo::video {

std::string uvcModelIdentifier(int vendorID, int productID)
{
    char text[64];
    std::snprintf(text, sizeof text, "UVC Camera VendorID_%d ProductID_%d", vendorID, productID);
    return text;
}

} // namespace kelvo::video
