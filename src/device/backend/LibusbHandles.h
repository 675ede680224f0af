#pragma once

#include <memory>

struct libusb_context;
struct libusb_device;
struct libusb_device_handle;
struct libusb_transfer;
struct libusb_config_descriptor;

namespace kelvo::device {

// Owners of libusb objects, so that every return path releases what it took.
// A handle or transfer handed on to code that frees it later (a transport's
// state, a submitted transfer) leaves its owner with release(). Defined out
// of line, so that headers using them need not see libusb's.
struct LibusbRelease {
    void operator()(libusb_context *context) const;
    void operator()(libusb_device *device) const;
    void operator()(libusb_device_handle *handle) const;
    void operator()(libusb_transfer *transfer) const;
    void operator()(libusb_config_descriptor *config) const;
    // Drops the list's references to its devices with it.
    void operator()(libusb_device **list) const;
};

using LibusbContextPtr = std::unique_ptr<libusb_context, LibusbRelease>;
using LibusbDevicePtr = std::unique_ptr<libusb_device, LibusbRelease>;
using LibusbDeviceHandlePtr = std::unique_ptr<libusb_device_handle, LibusbRelease>;
using LibusbTransferPtr = std::unique_ptr<libusb_transfer, LibusbRelease>;
using LibusbConfigDescriptorPtr = std::unique_ptr<libusb_config_descriptor, LibusbRelease>;
using LibusbDeviceListPtr = std::unique_ptr<libusb_device *, LibusbRelease>;

} // namespace kelvo::device
