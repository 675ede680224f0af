#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "device/HidDeviceIo.h"

struct hid_device_;

namespace kelvo::device {

// An HID device as hidapi's enumeration lists it.
struct HidDeviceDescription {
    std::string path; // "/dev/hidrawN"
    std::uint16_t vendorID = 0;
    std::uint16_t productID = 0;
    int interfaceNumber = -1;
    std::uint32_t locationID = 0;
};

// The camera's HID interface through hidapi (hidraw backend): output reports
// are written with the report ID as their first byte, input reports are read
// with a timeout.
// Thread: readInputReport() on one reader thread, setOutputReport() from any;
// close() once the reader has stopped.
class HidapiTransport final : public HidDeviceIo {
public:
    // Lists the HID devices with this vendor and product.
    static std::vector<HidDeviceDescription> enumerate(std::uint16_t vendorID, std::uint16_t productID);

    // Opens the device node. Answers null and sets status on failure
    // (TransferStatus::ExclusiveAccess when it is busy or not permitted).
    static std::unique_ptr<HidapiTransport> open(const std::string &path, std::uint32_t locationID,
                                                 TransferStatus *status = nullptr);

    // The location identifier of the USB device a hidraw node belongs to,
    // read from udev; 0 when it cannot be found.
    static std::uint32_t locationIdForHidraw(const std::string &path);

    ~HidapiTransport() override;

    std::uint32_t locationID() const override { return m_locationID; }
    TransferStatus setOutputReport(std::uint8_t reportID, const std::uint8_t *data, std::size_t length) override;
    TransferStatus readInputReport(std::uint8_t *buffer, std::size_t capacity, std::size_t &length,
                                   int timeoutMs) override;
    void close() override;

private:
    HidapiTransport(hid_device_ *device, std::uint32_t locationID);

    hid_device_ *m_device;
    const std::uint32_t m_locationID;
};

} // namespace kelvo::device
