#pragma once

#include <cstdint>
#include <string>

namespace kelvo::device {

// What became of a transfer to or from the camera. The numbers are the ones
// the device link's log lines print ("Write failed with error 0x%x"), which
// people compare with earlier logs, so they never change. Every transport
// maps its own errors onto them.
enum class TransferStatus : std::uint32_t {
    Success = 0,
    Error = 0xE00002BC,
    NoDevice = 0xE00002C0,
    ExclusiveAccess = 0xE00002C5,
    Unsupported = 0xE00002C7,
    NotOpen = 0xE00002CD,
    Timeout = 0xE00002D6,
    NotResponding = 0xE00002D8,
    Aborted = 0xE00002EB,
    PipeStalled = 0xE000404F,
};

// At most this many consecutive aborted transfers are retried per record.
inline constexpr std::uint32_t kMaxAbortedTransfers = 9;

// The log text of a status: "success", "not open", "noDevice", or
// "UNKNOWN (%x)" with the status in hexadecimal. Returned by value, so
// callers on different threads never share a buffer.
std::string transferStatusDescription(TransferStatus status);

} // namespace kelvo::device
