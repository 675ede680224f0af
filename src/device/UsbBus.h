#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "device/HidDeviceIo.h"
#include "device/TransferStatus.h"
#include "device/UsbPipeIo.h"

namespace kelvo::device {

inline constexpr std::uint16_t kQuadrelVendorID = 0x202C;
inline constexpr std::uint16_t kQuadrelProductID = 0x0082;
inline constexpr std::uint16_t kQuadrelFirmwareUpdateProductID = 0x0084;

// An HID device of the camera as the bus lists it.
struct HidCandidate {
    std::string path; // "/dev/hidrawN"
    std::uint32_t locationID = 0;
};

// A USB device of the camera as the bus lists it.
struct UsbCandidate {
    std::uint8_t bus = 0;
    std::uint8_t address = 0;
    std::uint32_t locationID = 0;
    std::uint16_t vendorID = 0;
    std::uint16_t productID = 0;
};

// The interface to look for: the first whose class, subclass and protocol
// match (-1 matches anything).
struct InterfaceSearch {
    int interfaceClass = -1;
    int interfaceSubclass = -1;
    int interfaceProtocol = -1;
    // Whether the interface may be taken from an operating-system driver
    // that holds it (the HID driver, for the vendor-USB fallback). The video
    // driver is never displaced: its interface then refuses to open.
    bool takeFromSystemDriver = true;
};

// One endpoint of an opened interface, for the endpoint listing.
struct EndpointInfo {
    int direction = 0;    // 0 OUT, 1 IN
    int number = 0;       // endpoint number without the direction bit
    int transferType = 0; // 0 control, 1 isochronous, 2 bulk, 3 interrupt
    int maxPacketSize = 0;
    int interval = 0;
};

// A camera USB device being attached: what the attach steps need before an
// interface is opened. Closed by its destructor.
// Thread: the device-link queue.
class UsbDeviceSession {
public:
    virtual ~UsbDeviceSession() = default;
    // Opens the whole device for configuring (firmware-update mode).
    // TransferStatus::ExclusiveAccess while another user holds it.
    virtual TransferStatus openDevice() = 0;
    // The configuration value (byte 5) of configuration descriptor 0.
    virtual TransferStatus configurationValue(std::uint8_t &value) = 0;
    virtual TransferStatus setConfiguration(std::uint8_t value) = 0;
    virtual void closeDevice() = 0;
    // True when the device has an interface matching the search.
    virtual bool hasInterface(const InterfaceSearch &search) const = 0;
    // Opens and claims the first matching interface. Null with the status on
    // failure (TransferStatus::ExclusiveAccess when it is claimed elsewhere).
    virtual std::unique_ptr<UsbPipeIo> openInterface(const InterfaceSearch &search, TransferStatus *status) = 0;
    // The endpoints of the first matching interface, pipe 1 first.
    virtual std::vector<EndpointInfo> endpoints(const InterfaceSearch &search) const = 0;
};

// What device discovery needs of the operating system's USB and HID stacks:
// enumeration by vendor and product, and opening. Linux implements it with
// hidapi, libusb and libudev (device/backend); tests may wrap it.
// Thread: the device-link queue.
class UsbBus {
public:
    virtual ~UsbBus() = default;

    // False when HID devices cannot be used at all.
    virtual bool hidAvailable() = 0;
    virtual std::vector<HidCandidate> enumerateHid(std::uint16_t vendorID, std::uint16_t productID) = 0;
    // Opens an HID device. Null with the status on failure.
    virtual std::unique_ptr<HidDeviceIo> openHid(const HidCandidate &device, TransferStatus *status) = 0;

    virtual std::vector<UsbCandidate> enumerateUsb(std::uint16_t vendorID, std::uint16_t productID) = 0;
    // Starts attaching a device. Null with the status on failure
    // (TransferStatus::ExclusiveAccess or TransferStatus::Unsupported are worth retrying).
    virtual std::unique_ptr<UsbDeviceSession> createSession(const UsbCandidate &device, TransferStatus *status) = 0;
};

} // namespace kelvo::device
