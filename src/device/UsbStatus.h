#pragma once

#include <cstdint>
#include <string>

// Transfer status codes of the device link. The numbers are the ones the
// device-link log lines print ("Write failed with error 0x%x"), so every
// transport maps its own errors onto them.
namespace kelvo::device {

using IOReturn = std::uint32_t;

inline constexpr IOReturn kIOReturnSuccess = 0;
inline constexpr IOReturn kIOReturnError = 0xE00002BC;
inline constexpr IOReturn kIOReturnNoDevice = 0xE00002C0;
inline constexpr IOReturn kIOReturnExclusiveAccess = 0xE00002C5;
inline constexpr IOReturn kIOReturnUnsupported = 0xE00002C7;
inline constexpr IOReturn kIOReturnNotOpen = 0xE00002CD;
inline constexpr IOReturn kIOReturnTimeout = 0xE00002D6;
inline constexpr IOReturn kIOReturnNotResponding = 0xE00002D8;
inline constexpr IOReturn kIOReturnAborted = 0xE00002EB;
inline constexpr IOReturn kIOUSBPipeStalled = 0xE000404F;

// At most this many consecutive aborted transfers are retried per record.
inline constexpr std::uint32_t kMaxAbortedTransfers = 9;

// The log text of a status: "success", "not open", "noDevice", or
// "UNKNOWN (%x)" with the status in hexadecimal. Returned by value, so
// callers on different threads never share a buffer.
std::string IOReturnDescription(IOReturn status);

} // namespace kelvo::device
