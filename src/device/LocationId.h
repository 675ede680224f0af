#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace kelvo::device {

// The 32-bit location identifier of a USB device: the bus number in the top
// byte, then the port of each hub level in successive 4-bit fields from bit
// 20 down (a port above 15 keeps its low four bits). It names a port, not a
// device, so the same camera plugged into the same port has the same
// identifier; every transport and the scan compute it this way.
std::uint32_t locationIdFromPorts(std::uint8_t bus, std::span<const std::uint8_t> ports);

// The same from the kernel's devpath ("1", "1.4", "2.1.3"); ports that do not
// parse end the path.
std::uint32_t locationIdFromDevpath(std::uint8_t bus, std::string_view devpath);

} // namespace kelvo::device
