#pragma once

#include <cstddef>
#include <cstdint>

#include "device/TransferStatus.h"

namespace kelvo::device {

// One opened HID device: output reports out, input reports in. hidapi
// implements it for real cameras, the simulator in process.
// Thread: readInputReport() on the device's reader thread; setOutputReport()
// from any thread; close() once the reader has stopped.
class HidDeviceIo {
public:
    virtual ~HidDeviceIo() = default;

    // The 32-bit location identifier of the USB device the HID device is on.
    virtual std::uint32_t locationID() const = 0;

    // Sends one output report with the given report ID (written as a leading
    // byte). Answers TransferStatus::Success, TransferStatus::NotResponding when the device
    // did not take it in time, TransferStatus::NoDevice when it is gone, or
    // TransferStatus::Error.
    virtual TransferStatus setOutputReport(std::uint8_t reportID, const std::uint8_t *data, std::size_t length) = 0;

    // Waits at most timeoutMs for one input report. Answers TransferStatus::Timeout
    // when none came, TransferStatus::NoDevice when the device is gone.
    virtual TransferStatus readInputReport(std::uint8_t *buffer, std::size_t capacity, std::size_t &length,
                                           int timeoutMs) = 0;

    // Closes the device. Idempotent.
    virtual void close() = 0;
};

} // namespace kelvo::device
