#pragma once

#include "video/CaptureDevice.h"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

typedef struct _GstDevice GstDevice;
typedef struct _GstStructure GstStructure;

namespace kelvo::video::backend {

// A USB id as the device providers write it: "202c" (v4l2, PulseAudio) or
// "0x202c" (PipeWire). Answers none for anything else.
std::optional<int> parseUsbId(std::string_view text);

// The USB device a capture node hangs off, as sysfs describes it.
struct UsbPortInfo {
    bool found = false;
    int vendorID = -1;
    int productID = -1;
    std::string serial;
    std::string busPortName; // the sysfs name of the USB device, "1-2.3"
    std::string removable;   // "removable", "fixed" or "unknown"
    std::string connectType; // of the port: "hotplug", "hardwired", ...
};

// Walks up from a sysfs device directory to the USB device that carries it.
// sysRoot prefixes absolute paths (tests point it at a fake tree).
UsbPortInfo findUsbDevice(const std::filesystem::path &sysfsPath, const std::filesystem::path &sysRoot = "/");

// What a device provider tells about one device, read out of its property
// structure.
struct DeviceFacts {
    std::string displayName;
    std::string vendorID;  // "device.vendor.id"
    std::string productID; // "device.product.id"
    std::string busPath;   // "device.bus_path" (udev's ID_PATH)
    std::string serial;    // "device.serial"
    std::string sysfsPath; // "sysfs.path"
    std::string nodePath;  // "device.path", "api.v4l2.path" or "api.alsa.path"
    std::string bus;       // "device.bus"
    std::string formFactor;
    std::string deviceClass; // "device.class": "monitor" for a sink's monitor
    bool isDefault = false;
};

DeviceFacts deviceFactsFromProperties(const std::string &displayName, const GstStructure *properties);
DeviceFacts deviceFactsFromGstDevice(GstDevice *device);

// The device record: model identifier from the USB ids, a stable unique
// identifier, and built-in when the device is not on a removable USB port.
CaptureDevice describeCaptureDevice(const DeviceFacts &facts, CaptureMediaType type,
                                    const std::filesystem::path &sysRoot = "/");

} // namespace kelvo::video::backend
