#pragma once

#include "device/UsbBus.h"

namespace kelvo::device {

// The camera on Linux: HID devices through hidapi (hidraw), USB devices
// through libusb, locations from udev.
// Thread: the device-link queue (any one thread at a time).
class LinuxUsbBus final : public UsbBus {
public:
    bool hidAvailable() override;
    std::vector<HidCandidate> enumerateHid(std::uint16_t vendorID, std::uint16_t productID) override;
    std::unique_ptr<HidDeviceIo> openHid(const HidCandidate &device, TransferStatus *status) override;
    std::vector<UsbCandidate> enumerateUsb(std::uint16_t vendorID, std::uint16_t productID) override;
    std::unique_ptr<UsbDeviceSession> createSession(const UsbCandidate &device, TransferStatus *status) override;
};

} // namespace kelvo::device
