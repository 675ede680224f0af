#include "device/LocationId.h"

#include <vector>

namespace kelvo::device {

std::uint32_t locationIdFromPorts(std::uint8_t bus, std::span<const std::uint8_t> ports)
{
    std::uint32_t location = static_cast<std::uint32_t>(bus) << 24;
    int shift = 20;
    for (std::uint8_t port : ports) {
        if (shift < 0)
            break;
        location |= static_cast<std::uint32_t>(port & 0x0F) << shift;
        shift -= 4;
    }
    return location;
}

std::uint32_t locationIdFromDevpath(std::uint8_t bus, std::string_view devpath)
{
    std::vector<std::uint8_t> ports;
    unsigned value = 0;
    bool digits = false;
    for (char c : devpath) {
        if (c >= '0' && c <= '9') {
            value = value * 10 + static_cast<unsigned>(c - '0');
            digits = true;
            if (value > 255)
                break;
        } else if (c == '.' && digits) {
            ports.push_back(static_cast<std::uint8_t>(value));
            value = 0;
            digits = false;
        } else {
            digits = false;
            break;
        }
    }
    if (digits)
        ports.push_back(static_cast<std::uint8_t>(value));
    return locationIdFromPorts(bus, ports);
}

} // namespace kelvo::device
