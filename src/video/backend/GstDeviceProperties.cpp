#include "video/backend/GstDeviceProperties.h"

#include "video/backend/GstHandles.h"

#include <charconv>
#include <fstream>

namespace kelvo::video::backend {

namespace fs = std::filesystem;

namespace {

std::string readAttribute(const fs::path &file)
{
    std::ifstream in(file);
    std::string value;
    std::getline(in, value);
    while (!value.empty() && (value.back() == '\n' || value.back() == ' '))
        value.pop_back();
    return value;
}

fs::path underRoot(const fs::path &root, const fs::path &path)
{
    return path.is_absolute() ? root / path.relative_path() : root / path;
}

std::string propertyText(const GstStructure *s, const char *name)
{
    if (!s || !gst_structure_has_field(s, name))
        return {};
    const GValue *v = gst_structure_get_value(s, name);
    if (G_VALUE_HOLDS_STRING(v))
        return g_value_get_string(v) ? g_value_get_string(v) : "";
    if (G_VALUE_HOLDS_INT(v))
        return std::to_string(g_value_get_int(v));
    if (G_VALUE_HOLDS_UINT(v))
        return std::to_string(g_value_get_uint(v));
    if (G_VALUE_HOLDS_BOOLEAN(v))
        return g_value_get_boolean(v) ? "true" : "false";
    return {};
}

std::string firstOf(const GstStructure *s, std::initializer_list<const char *> names)
{
    for (const char *name : names) {
        std::string text = propertyText(s, name);
        if (!text.empty())
            return text;
    }
    return {};
}

} // namespace

std::optional<int> parseUsbId(std::string_view text)
{
    if (text.starts_with("0x") || text.starts_with("0X"))
        text.remove_prefix(2);
    if (text.empty() || text.size() > 4)
        return std::nullopt;
    int value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
    if (ec != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

UsbPortInfo findUsbDevice(const fs::path &sysfsPath, const fs::path &sysRoot)
{
    UsbPortInfo info;
    if (sysfsPath.empty())
        return info;
    std::error_code ec;
    fs::path dir = fs::weakly_canonical(underRoot(sysRoot, sysfsPath), ec);
    if (ec)
        return info;
    const fs::path root = fs::weakly_canonical(sysRoot, ec);
    while (!dir.empty() && dir != root && dir != dir.root_path()) {
        if (fs::exists(dir / "idVendor") && fs::exists(dir / "idProduct")) {
            info.found = true;
            info.vendorID = parseUsbId(readAttribute(dir / "idVendor")).value_or(-1);
            info.productID = parseUsbId(readAttribute(dir / "idProduct")).value_or(-1);
            info.serial = readAttribute(dir / "serial");
            info.busPortName = dir.filename().string();
            info.removable = readAttribute(dir / "removable");
            info.connectType = readAttribute(dir / "port" / "connect_type");
            return info;
        }
        dir = dir.parent_path();
    }
    return info;
}

DeviceFacts deviceFactsFromProperties(const std::string &displayName, const GstStructure *p)
{
    DeviceFacts f;
    f.displayName = displayName;
    f.vendorID = firstOf(p, {"device.vendor.id"});
    f.productID = firstOf(p, {"device.product.id"});
    f.busPath = firstOf(p, {"device.bus_path", "device.bus-path"});
    f.serial = firstOf(p, {"device.serial"});
    f.sysfsPath = firstOf(p, {"sysfs.path"});
    f.nodePath = firstOf(p, {"device.path", "api.v4l2.path", "api.alsa.path"});
    f.bus = firstOf(p, {"device.bus"});
    f.formFactor = firstOf(p, {"device.form_factor", "device.form-factor"});
    f.deviceClass = firstOf(p, {"device.class"});
    f.isDefault = propertyText(p, "is-default") == "true";
    return f;
}

DeviceFacts deviceFactsFromGstDevice(GstDevice *device)
{
    const GCharPtr name(gst_device_get_display_name(device));
    const GstStructurePtr props(gst_device_get_properties(device));
    return deviceFactsFromProperties(name ? name.get() : "", props.get());
}

CaptureDevice describeCaptureDevice(const DeviceFacts &facts, CaptureMediaType type, const fs::path &sysRoot)
{
    CaptureDevice d;
    d.localizedName = QString::fromStdString(facts.displayName);
    d.hasVideo = type == CaptureMediaType::Video;
    d.hasAudio = type == CaptureMediaType::Audio;
    d.hasMuxed = type == CaptureMediaType::Muxed;

    fs::path sysfs = facts.sysfsPath;
    if (sysfs.empty() && facts.nodePath.starts_with("/dev/video"))
        sysfs = fs::path("/sys/class/video4linux") / fs::path(facts.nodePath).filename() / "device";
    const UsbPortInfo usb = findUsbDevice(sysfs, sysRoot);

    std::optional<int> vendor = parseUsbId(facts.vendorID);
    std::optional<int> product = parseUsbId(facts.productID);
    if ((!vendor || !product) && usb.found && usb.vendorID >= 0 && usb.productID >= 0) {
        vendor = usb.vendorID;
        product = usb.productID;
    }
    const bool onUsb = usb.found || facts.bus == "usb";
    if (vendor && product && onUsb && type != CaptureMediaType::Audio)
        d.modelID = uvcModelIdentifier(*vendor, *product);
    else
        d.modelID = facts.displayName;

    const std::string serial = !facts.serial.empty() ? facts.serial : usb.serial;
    std::string place = facts.busPath;
    if (place.empty() && usb.found)
        place = "usb-" + usb.busPortName;
    if (place.empty())
        place = facts.nodePath;
    if (place.empty())
        place = facts.displayName;
    d.uniqueID = serial.empty() ? place : place + ":" + serial;

    if (type == CaptureMediaType::Audio && facts.formFactor == "internal")
        d.transportType = kTransportTypeBuiltIn;
    else if (usb.found)
        d.transportType =
            (usb.removable == "fixed" || usb.connectType == "hardwired") ? kTransportTypeBuiltIn : kTransportTypeUSB;
    else
        d.transportType = facts.bus == "usb" ? kTransportTypeUSB : kTransportTypeBuiltIn;
    return d;
}

} // namespace kelvo::video::backend
