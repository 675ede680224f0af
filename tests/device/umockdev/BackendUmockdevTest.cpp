// The real backends, unmodified, against the simulated camera on an emulated
// USB bus: libusb claims the camera's interface, hidapi opens its hidraw
// node; both carry the power-up sequence out and the camera's answers in.
#include <gtest/gtest.h>

#include "DeviceTestSupport.h"
#include "QuadrelUmockdevBed.h"
#include "common/SystemLog.h"
#include "device/DeviceLink.h"
#include "device/backend/HidapiTransport.h"
#include "device/backend/LibusbTransport.h"

using namespace kelvo::device;
using namespace std::chrono_literals;
using kelvo::device::test::pumpUntil;
using kelvo::device::test::RecordingViewer;
using kelvo::device::umock::QuadrelUmockdevBed;

namespace {

struct BackendFixture : ::testing::Test {
    void SetUp() override
    {
        if (!QuadrelUmockdevBed::inMockEnvironment())
            GTEST_SKIP() << "needs umockdev-wrapper";
        sim::QuadrelIdentity identity;
        identity.deviceSerialNumber = "QDL-UMOCK-42";
        identity.boardSerialNumber = "BRD-UMOCK-7";
        identity.deviceFirmwareVersion = "3.0.1";
        identity.bootFirmwareVersion = "1.9";
        camera = std::make_shared<sim::QuadrelSimulator>(identity);
        bed = std::make_unique<QuadrelUmockdevBed>(camera);
        std::string error;
        ASSERT_TRUE(bed->plugIn(&error)) << error;
        link = std::make_unique<DeviceLink>();
        link->setViewerActions(&viewer);
        link->createSendQueue();
        link->startHIDInitialization();
    }

    void TearDown() override
    {
        link.reset();
        bed.reset();
    }

    // Power up was sent in order and the identity reports it asked for came
    // back and were decoded.
    void expectPoweredUpAndIdentified()
    {
        ASSERT_TRUE(camera->waitForReceivedCount(16, 5s));
        std::vector<std::uint8_t> codes;
        for (const auto &entry : camera->receivedReports())
            codes.push_back(entry.report[0]);
        EXPECT_EQ(codes, (std::vector<std::uint8_t>{0xA2, 0xC0, 0xCD, 0xA8, 0xC4, 0xCC, 0xB1, 0xCD, 0xB1, 0xCD, 0xB1,
                                                    0xA2, 0x99, 0xAC, 0x9A, 0xAE}));
        ASSERT_TRUE(pumpUntil([&] { return link->gotBootFirmwareVersion(); }, 5s));
        EXPECT_EQ(link->deviceSerialNumber(), "QDL-UMOCK-42");
        EXPECT_EQ(link->boardSerialNumber(), "BRD-UMOCK-7");
        EXPECT_EQ(link->deviceFirmwareVersion(), "3.0.1");
        EXPECT_EQ(link->bootFirmwareVersion(), "1.9");
    }

    // A button press and a zoom command whose bytes a line discipline would
    // mangle (0x13 is XOFF) both make it through.
    void expectButtonsAndZoomPassThrough()
    {
        viewer.clear();
        camera->sendCode(HIDReportPositionFar);
        ASSERT_TRUE(pumpUntil([&] { return !viewer.calls().empty(); }, 5s));
        EXPECT_EQ(viewer.calls().front(), "setQuadrelPhysicalOrientation 1");
        link->sendHIDCommand(HIDCommandZoom7);
        link->waitForSendQueue();
        EXPECT_TRUE(pumpUntil([&] { return camera->lensPosition() == 9491; }, 5s));
        EXPECT_EQ(camera->zoomStep(), 7);
    }

    kelvo::ScopedLogCapture log;
    std::shared_ptr<sim::QuadrelSimulator> camera;
    std::unique_ptr<QuadrelUmockdevBed> bed;
    RecordingViewer viewer;
    std::unique_ptr<DeviceLink> link;
};

} // namespace

TEST_F(BackendFixture, HidapiBackend)
{
    const auto devices = HidapiTransport::enumerate(0x202C, 0x0082);
    ASSERT_EQ(devices.size(), 1u);
    EXPECT_EQ(devices[0].path, bed->hidrawPath());
    EXPECT_EQ(devices[0].locationID, QuadrelUmockdevBed::kLocationID);
    TransferStatus status = TransferStatus::Error;
    auto io = HidapiTransport::open(devices[0].path, devices[0].locationID, &status);
    ASSERT_TRUE(io) << std::hex << static_cast<unsigned>(status);
    auto device = link->attachHIDDevice(std::move(io));
    EXPECT_TRUE(link->isListeningOnDevice(QuadrelUmockdevBed::kLocationID));
    expectPoweredUpAndIdentified();
    expectButtonsAndZoomPassThrough();
    EXPECT_GT(bed->hidReportsReceived(), 16);

    // Pulled out while its reader waits for a report.
    bed->unplug();
    ASSERT_TRUE(pumpUntil([&] { return link->hidInterfaces().empty(); }, 5s));
    EXPECT_TRUE(device->isTerminated());
    EXPECT_FALSE(link->gotDeviceSerialNumber());
    EXPECT_FALSE(link->sendHIDCommandNow(HIDCommandToggleLight));
}

TEST_F(BackendFixture, LibusbBackend)
{
    const auto devices = LibusbTransport::enumerate(0x202C, 0x0082);
    ASSERT_EQ(devices.size(), 1u);
    EXPECT_EQ(devices[0].bus, QuadrelUmockdevBed::kBus);
    EXPECT_EQ(devices[0].address, QuadrelUmockdevBed::kAddress);
    EXPECT_EQ(devices[0].locationID, QuadrelUmockdevBed::kLocationID);
    TransferStatus status = TransferStatus::Error;
    auto io = LibusbTransport::open(devices[0], InterfaceSearch{3, -1, -1}, &status);
    ASSERT_TRUE(io) << std::hex << static_cast<unsigned>(status);
    EXPECT_EQ(io->endpoints(), (std::vector<std::uint8_t>{0x81, 0x02}));
    auto interface = link->attachVendorInterface(std::move(io));
    expectPoweredUpAndIdentified();
    expectButtonsAndZoomPassThrough();
    EXPECT_GT(bed->usbReportsReceived(), 16);

    // Pulled out while a write is in flight and the reader waits on the read
    // pipe: both fail, the interface is removed and closed once.
    bed->holdUsbWrites(true);
    log.clear();
    EXPECT_TRUE(link->sendRawHIDCommand(CommandBytes{0xC4}));
    ASSERT_TRUE(pumpUntil([&] { return bed->usbWritesInFlight() == 1; }, 5s));
    bed->unplug();
    ASSERT_TRUE(pumpUntil([&] { return link->usbInterfaces().empty() && interface->isClosed(); }, 5s));
    EXPECT_TRUE(link->hidListeners().empty());
    EXPECT_FALSE(link->gotDeviceSerialNumber());
    EXPECT_FALSE(link->sendRawHIDCommand(CommandBytes{0x96}));
    EXPECT_TRUE(pumpUntil([&] { return log.count("Device went away.  Err -536870208, e00002c0.\n") == 2; }, 5s))
        << "the write and the read both see the device gone";
}
