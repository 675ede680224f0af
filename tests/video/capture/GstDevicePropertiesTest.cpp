#include "video/backend/GstDeviceProperties.h"

#include <gst/gst.h>

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace kelvo::video::backend {
namespace {

namespace fs = std::filesystem;

TEST(CaptureDeviceProperties, ParsesUsbIdsWithAndWithoutPrefix)
{
    const std::pair<const char *, std::optional<int>> cases[] = {
        {"202c", 8236},          {"0x202c", 8236},     {"0X0082", 130},
        {"0082", 130},           {"82", 130},          {"", std::nullopt},
        {"0x", std::nullopt},    {"zz", std::nullopt}, {"12345", std::nullopt},
        {"20 2c", std::nullopt},
    };
    for (const auto &[text, expected] : cases)
        EXPECT_EQ(parseUsbId(text), expected) << '"' << text << '"';
}

class CaptureDeviceSysfs : public ::testing::Test {
protected:
    QTemporaryDir dir;
    fs::path root() const { return fs::path(dir.path().toStdString()); }

    // /sys/devices/pci0000:00/0000:00:14.0/usb1/<port>/<port>:1.0/video4linux/video0
    std::string addCamera(const std::string &port, const char *vendor, const char *product, const char *removable,
                          const char *connectType = "hotplug", const char *serial = nullptr)
    {
        const fs::path usb = root() / "sys/devices/pci0000:00/0000:00:14.0/usb1" / port;
        const fs::path node = usb / (port + ":1.0") / "video4linux/video0";
        fs::create_directories(node);
        fs::create_directories(usb / "port");
        write(usb / "idVendor", vendor);
        write(usb / "idProduct", product);
        write(usb / "removable", removable);
        write(usb / "port/connect_type", connectType);
        if (serial)
            write(usb / "serial", serial);
        return "/" + fs::relative(node, root()).string();
    }
    static void write(const fs::path &file, const char *text) { std::ofstream(file) << text << "\n"; }
};

GstStructure *properties(std::initializer_list<std::pair<const char *, const char *>> fields)
{
    GstStructure *s = gst_structure_new_empty("v4l2deviceprovider");
    for (const auto &[key, value] : fields)
        gst_structure_set(s, key, G_TYPE_STRING, value, nullptr);
    return s;
}

TEST_F(CaptureDeviceSysfs, DescribesCamerasByUsbIdsPortAndSerial)
{
    gst_init(nullptr, nullptr);
    const std::string removablePort = addCamera("1-2", "202c", "0082", "removable", "hotplug", "Q1234");
    struct Case {
        const char *name;
        GstStructure *props;
        std::string model;
        std::string uniqueID;
        std::uint32_t transport;
    };
    const Case cases[] = {
        {"v4l2 with udev ids",
         properties({{"device.vendor.id", "202c"},
                     {"device.product.id", "0082"},
                     {"device.bus_path", "pci-0000:00:14.0-usb-0:2:1.0"},
                     {"device.serial", "Morvane_Quadrel_Q1234"},
                     {"sysfs.path", removablePort.c_str()},
                     {"device.bus", "usb"}}),
         kQuadrelModelID, "pci-0000:00:14.0-usb-0:2:1.0:Morvane_Quadrel_Q1234", kTransportTypeUSB},
        {"pipewire hex ids",
         properties({{"device.vendor.id", "0x202c"},
                     {"device.product.id", "0x0082"},
                     {"device.bus-path", "pci-x"},
                     {"device.bus", "usb"}}),
         kQuadrelModelID, "pci-x", kTransportTypeUSB},
        {"ids only in sysfs", properties({{"sysfs.path", removablePort.c_str()}}), kQuadrelModelID, "usb-1-2:Q1234",
         kTransportTypeUSB},
        {"not on USB", properties({{"device.path", "/dev/video7"}, {"device.bus", "platform"}}), "Camera Name",
         "/dev/video7", kTransportTypeBuiltIn},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const DeviceFacts facts = deviceFactsFromProperties("Camera Name", c.props);
        const CaptureDevice d = describeCaptureDevice(facts, CaptureMediaType::Video, root());
        EXPECT_EQ(d.modelID, c.model);
        EXPECT_EQ(d.uniqueID, c.uniqueID);
        EXPECT_EQ(d.transportType, c.transport);
        EXPECT_EQ(d.localizedName, "Camera Name");
        EXPECT_TRUE(d.hasVideo);
        gst_structure_free(c.props);
    }
}

TEST_F(CaptureDeviceSysfs, FixedOrHardwiredPortMeansBuiltIn)
{
    gst_init(nullptr, nullptr);
    const std::tuple<const char *, const char *, const char *, std::uint32_t> cases[] = {
        {"1-3", "fixed", "unknown", kTransportTypeBuiltIn},
        {"1-4", "unknown", "hardwired", kTransportTypeBuiltIn},
        {"1-5", "unknown", "unknown", kTransportTypeUSB},
        {"1-6", "removable", "hotplug", kTransportTypeUSB},
    };
    for (const auto &[port, removable, connect, transport] : cases) {
        const std::string path = addCamera(port, "0c45", "6366", removable, connect);
        GstStructure *props = properties({{"sysfs.path", path.c_str()}, {"device.bus", "usb"}});
        const CaptureDevice d =
            describeCaptureDevice(deviceFactsFromProperties("Integrated", props), CaptureMediaType::Video, root());
        EXPECT_EQ(d.transportType, transport) << port;
        EXPECT_EQ(d.modelID, "UVC Camera VendorID_3141 ProductID_25446");
        gst_structure_free(props);
    }
}

TEST(CaptureDeviceProperties, MicrophonesUseFormFactorAndKeepTheirName)
{
    gst_init(nullptr, nullptr);
    GstStructure *props =
        gst_structure_new("pulse", "device.form_factor", G_TYPE_STRING, "internal", "device.bus", G_TYPE_STRING, "pci",
                          "device.vendor.id", G_TYPE_STRING, "8086", "device.product.id", G_TYPE_STRING, "a0c8",
                          "is-default", G_TYPE_BOOLEAN, TRUE, "device.class", G_TYPE_STRING, "sound", nullptr);
    const DeviceFacts facts = deviceFactsFromProperties("Built-in Audio", props);
    EXPECT_TRUE(facts.isDefault);
    const CaptureDevice mic = describeCaptureDevice(facts, CaptureMediaType::Audio, "/nonexistent");
    EXPECT_EQ(mic.transportType, kTransportTypeBuiltIn);
    EXPECT_EQ(mic.modelID, "Built-in Audio");
    EXPECT_TRUE(mic.hasAudio);
    EXPECT_FALSE(mic.hasVideo);
    gst_structure_free(props);
}

} // namespace
} // namespace kelvo::video::backend
