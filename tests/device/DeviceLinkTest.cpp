#include <gtest/gtest.h>

#include <pthread.h>

#include "DeviceTestSupport.h"
#include "common/SystemLog.h"
#include "device/DeviceLink.h"
#include "device/sim/QuadrelSimulator.h"
#include "device/sim/SimulatedHidDeviceIo.h"
#include "device/sim/SimulatedQuadrel.h"
#include "device/sim/SimulatedUsbPipeIo.h"

using namespace kelvo::device;
using namespace std::chrono_literals;
using kelvo::device::sim::QuadrelSimulator;
using kelvo::device::sim::SimulatedHidDeviceIo;
using kelvo::device::sim::SimulatedUsbPipeIo;
using kelvo::device::test::pumpUntil;
using kelvo::device::test::RecordingViewer;
using Bytes = std::vector<std::uint8_t>;

namespace {

class InstantClock : public SendClock {
public:
    Microseconds now() override { return m_now; }
    void sleepFor(Microseconds duration) override { m_now += duration; }

private:
    Microseconds m_now{0};
};

// The meaningful bytes of a received report; the rest must be zero.
Bytes meaningful(const Report &report)
{
    std::size_t end = kReportSize;
    while (end > 1 && report[end - 1] == 0)
        --end;
    return Bytes(report.begin(), report.begin() + static_cast<std::ptrdiff_t>(end));
}

std::vector<Bytes> received(const QuadrelSimulator &camera)
{
    std::vector<Bytes> result;
    for (const auto &entry : camera.receivedReports())
        result.push_back(meaningful(entry.report));
    return result;
}

struct LinkFixture : ::testing::Test {
    LinkFixture()
    {
        link.setViewerActions(&viewer);
        link.createSendQueue(std::make_shared<InstantClock>());
    }
    SimulatedHidDeviceIo *addHidCamera(std::uint32_t location = SimulatedHidDeviceIo::kDefaultLocationID)
    {
        auto *io = new SimulatedHidDeviceIo(camera, location);
        link.addHIDInterface(link.makeHidDevice(std::unique_ptr<HidDeviceIo>(io)));
        return io;
    }
    kelvo::ScopedLogCapture log; // first: it outlives the link's threads
    std::shared_ptr<QuadrelSimulator> camera = std::make_shared<QuadrelSimulator>();
    RecordingViewer viewer;
    DeviceLink link;
};

} // namespace

TEST_F(LinkFixture, EveryPlainCommandPutsItsBytesOnTheWire)
{
    const std::vector<std::pair<long, std::vector<Bytes>>> table = {
        {0, {{0xCC}, {0xB1, 0x01, 0x03}}},
        {1, {{0xCD}, {0xB1, 0x01, 0x01}}},
        {2, {{0xA2}}},
        {3, {{0xC0}}},
        {4, {{0xCD}}},
        {5, {{0xA8}}},
        {6, {{0xB1, 0x01, 0x02}}},
        {7, {{0xB1, 0x01, 0x01}}},
        {8, {{0xC5}}},
        {9, {{0xC4}}},
        {10, {{0xC7}}},
        {11, {{0xC6}}},
        {12, {{0xC8}}},
        {13, {{0xC9}}},
        {14, {{0xCA}}},
        {15, {{0x96}}},
        {16, {{0xCF, 0x02}}},
        {17, {{0xCF, 0x02, 0x58, 0x07}}},
        {18, {{0xCF, 0x02, 0x28, 0x0E}}},
        {19, {{0xCF, 0x02, 0xBF, 0x14}}},
        {20, {{0xCF, 0x02, 0x93, 0x1A}}},
        {21, {{0xCF, 0x02, 0xF7, 0x1F}}},
        {22, {{0xCF, 0x02, 0x13, 0x25}}},
        {23, {{0xCF, 0x02, 0x8C, 0x29}}},
        {26, {{0xA3}}},
        {27, {{0xA8}}},
        {28, {{0xA2}}},
        {29, {{0x9A}}},
        {30, {{0xAE}}},
        {31, {{0x99}}},
        {32, {{0xAC}}},
    };
    addHidCamera();
    for (const auto &[command, expected] : table) {
        camera->clearReceivedReports();
        EXPECT_TRUE(link.sendHIDCommandNow(command)) << command;
        EXPECT_EQ(received(*camera), expected) << command;
    }
}

TEST_F(LinkFixture, CommandsOutsideTheRangeAreRefusedAndSendNothing)
{
    addHidCamera();
    for (long command : {34L, -1L, 1000L}) {
        log.clear();
        EXPECT_FALSE(link.sendHIDCommandNow(command));
        EXPECT_EQ(log.lines(), std::vector<std::string>{"Unknown command " + std::to_string(command) + "\n"});
    }
    EXPECT_TRUE(camera->receivedReports().empty());
}

TEST_F(LinkFixture, SecondReportOfFreezeIsNotSentWhenTheFirstFails)
{
    SimulatedHidDeviceIo *io = addHidCamera();
    io->failOutputReports(TransferStatus::Error, 1);
    EXPECT_FALSE(link.sendHIDCommandNow(HIDCommandFreeze));
    EXPECT_TRUE(camera->receivedReports().empty());
    EXPECT_TRUE(log.contains("Send failed with error e00002bc\n"));
}

TEST_F(LinkFixture, PowerUpQueuesThirteenCommandsAndTurnsTheLightOnFromTheMainThread)
{
    addHidCamera();
    EXPECT_TRUE(link.sendHIDCommand(HIDCommandPowerUp));
    link.waitForSendQueue();
    EXPECT_EQ(received(*camera), (std::vector<Bytes>{{0xA2},
                                                     {0xC0},
                                                     {0xCD},
                                                     {0xA8},
                                                     {0xC4},
                                                     {0xCC},
                                                     {0xB1, 0x01, 0x03},
                                                     {0xCD},
                                                     {0xB1, 0x01, 0x01},
                                                     {0xCD},
                                                     {0xB1, 0x01, 0x01},
                                                     {0xA2},
                                                     {0x99},
                                                     {0xAC},
                                                     {0x9A},
                                                     {0xAE}}));
    ASSERT_TRUE(pumpUntil([&] { return !viewer.calls().empty(); }));
    EXPECT_EQ(viewer.calls().front(), "setLightIsOn 1");
    EXPECT_EQ(viewer.threads().front(), std::this_thread::get_id());
}

TEST_F(LinkFixture, PowerDownSequenceAndBurst)
{
    addHidCamera();
    EXPECT_TRUE(link.sendHIDCommand(HIDCommandPowerDownSequence));
    link.waitForSendQueue();
    EXPECT_EQ(received(*camera), (std::vector<Bytes>{{0xA3}, {0xA8}}));

    camera->clearReceivedReports();
    std::string burstThread;
    camera->setLightObserver([](bool) {});
    EXPECT_TRUE(link.sendHIDCommandNow(HIDCommandBurst));
    ASSERT_TRUE(camera->waitForReceivedCount(4, 2s));
    // AC asks for the board serial number: the camera answers it.
    EXPECT_EQ(received(*camera), (std::vector<Bytes>{{0xAB}, {0xAC}, {0xB3}, {0xD2}}));
}

TEST_F(LinkFixture, BurstRunsOnItsOwnFooQueue)
{
    struct NamingIo : HidDeviceIo {
        std::string *name;
        std::uint32_t locationID() const override { return 9; }
        TransferStatus setOutputReport(std::uint8_t, const std::uint8_t *, std::size_t) override
        {
            char buffer[16] = {};
            pthread_getname_np(pthread_self(), buffer, sizeof buffer);
            *name = buffer;
            return TransferStatus::Success;
        }
        TransferStatus readInputReport(std::uint8_t *, std::size_t, std::size_t &, int) override
        {
            return TransferStatus::Timeout;
        }
        void close() override {}
    };
    std::string name;
    auto io = std::make_unique<NamingIo>();
    io->name = &name;
    link.addHIDInterface(link.makeHidDevice(std::move(io)));
    EXPECT_TRUE(link.sendHIDCommandNow(HIDCommandBurst));
    ASSERT_TRUE(pumpUntil([&] { return log.count("Report sent.\n") == 4; }));
    EXPECT_EQ(name, "FooQueue");
}

TEST_F(LinkFixture, WithNoDeviceCommandsQueueButNothingIsSent)
{
    EXPECT_TRUE(link.sendHIDCommand(HIDCommandToggleLight));
    link.waitForSendQueue();
    EXPECT_FALSE(link.sendHIDCommandNow(HIDCommandToggleLight));
    EXPECT_FALSE(link.sendRawHIDCommand(CommandBytes{0x96}));
    EXPECT_TRUE(log.lines().empty());
}

TEST_F(LinkFixture, RawSendReachesEveryDeviceAndFailsWhenOneRefuses)
{
    auto otherCamera = std::make_shared<QuadrelSimulator>();
    SimulatedHidDeviceIo *first = addHidCamera(1);
    auto *usb = new SimulatedUsbPipeIo(otherCamera, 2);
    link.addInterfaceInterface(link.makeVendorInterface(std::unique_ptr<UsbPipeIo>(usb)));

    EXPECT_TRUE(link.sendRawHIDCommand(CommandBytes{0xC9}));
    ASSERT_TRUE(otherCamera->waitForReceivedCount(1, 2s));
    EXPECT_EQ(received(*camera), std::vector<Bytes>{{0xC9}});
    EXPECT_EQ(received(*otherCamera), std::vector<Bytes>{{0xC9}});

    first->failOutputReports(TransferStatus::NotResponding, 1);
    int resets = 0;
    link.setStuckVideoResetHandler([&] { ++resets; });
    log.clear();
    EXPECT_FALSE(link.sendRawHIDCommand(CommandBytes{0xCA}));
    EXPECT_EQ(resets, 1);
    ASSERT_TRUE(otherCamera->waitForReceivedCount(2, 2s));
    EXPECT_EQ(otherCamera->colorBalance(), 2);
    EXPECT_EQ(log.lines(), (std::vector<std::string>{"Sending HID report\n", "Send failed with error e00002d8\n"}));

    usb->failWriteStarts(TransferStatus::NoDevice, 1);
    log.clear();
    EXPECT_FALSE(link.sendRawHIDCommand(CommandBytes{0xC8}));
    EXPECT_TRUE(log.contains("Write failed with error 0xe00002c0\n"));
    EXPECT_EQ(camera->colorBalance(), 0);
}

TEST_F(LinkFixture, ListsKeepEveryEntryUntilRemovedAndKnowTheirLocations)
{
    auto interface = link.makeVendorInterface(std::make_unique<SimulatedUsbPipeIo>(camera, 0x14200000));
    link.addInterfaceInterface(interface);
    link.addInterfaceInterface(interface);
    addHidCamera(0x14300000);
    EXPECT_TRUE(link.isListeningOnDevice(0x14200000));
    EXPECT_TRUE(link.isListeningOnDevice(0x14300000));
    EXPECT_FALSE(link.isListeningOnDevice(0x14400000));
    link.removeInterfaceInterface(interface);
    EXPECT_TRUE(link.usbInterfaces().empty());
    EXPECT_FALSE(link.isListeningOnDevice(0x14200000));

    auto device = link.hidInterfaces().front();
    link.removeHIDInterface(device);
    EXPECT_TRUE(device->isTerminated());
    EXPECT_FALSE(link.isListeningOnDevice(0x14300000));
}

TEST_F(LinkFixture, ReportsReachTheMainThreadWithoutTheReaderWaiting)
{
    auto *io = new SimulatedHidDeviceIo(camera);
    link.attachHIDDevice(std::unique_ptr<HidDeviceIo>(io));
    link.waitForSendQueue();
    // The identity answers of the power-up sequence are decoded on this thread.
    ASSERT_TRUE(pumpUntil([&] { return link.gotBootFirmwareVersion(); }));
    const auto identity = camera->identity();
    EXPECT_EQ(link.deviceSerialNumber().toStdString(), identity.deviceSerialNumber);
    EXPECT_EQ(link.boardSerialNumber().toStdString(), identity.boardSerialNumber);
    EXPECT_EQ(link.deviceFirmwareVersion().toStdString(), identity.deviceFirmwareVersion);
    EXPECT_EQ(link.bootFirmwareVersion().toStdString(), identity.bootFirmwareVersion);

    viewer.clear();
    camera->setHeadPosition(2);
    camera->sendCode(HIDReportZoomIn);
    ASSERT_TRUE(pumpUntil([&] { return viewer.calls().size() >= 2; }));
    EXPECT_EQ(viewer.calls(), (std::vector<std::string>{"setQuadrelPhysicalOrientation 2", "zoomCameraIn"}));
    for (auto thread : viewer.threads())
        EXPECT_EQ(thread, std::this_thread::get_id());
}

TEST_F(LinkFixture, UnpluggedHidDeviceIsRemovedAndTheIdentityForgotten)
{
    auto *io = new SimulatedHidDeviceIo(camera, 0x15000000);
    auto device = link.attachHIDDevice(std::unique_ptr<HidDeviceIo>(io));
    link.waitForSendQueue();
    ASSERT_TRUE(pumpUntil([&] { return link.gotDeviceSerialNumber(); }));
    io->unplug();
    ASSERT_TRUE(pumpUntil([&] { return link.hidInterfaces().empty() && !link.gotDeviceSerialNumber(); }));
    EXPECT_TRUE(device->isTerminated());
    EXPECT_TRUE(io->isClosed());
    EXPECT_FALSE(link.isListeningOnDevice(0x15000000));
}

TEST_F(LinkFixture, TerminateAllSendsPowerDownBeforeClosingAndEmptiesTheListsAtOnce)
{
    auto usbCamera = std::make_shared<QuadrelSimulator>();
    auto *usb = new SimulatedUsbPipeIo(usbCamera, 0x16000000);
    auto *hid = new SimulatedHidDeviceIo(camera, 0x17000000);
    auto interface = link.attachVendorInterface(std::unique_ptr<UsbPipeIo>(usb));
    auto device = link.attachHIDDevice(std::unique_ptr<HidDeviceIo>(hid));
    link.waitForSendQueue();
    // Vendor writes complete asynchronously.
    ASSERT_TRUE(usbCamera->waitForReceivedCount(16, 2s));
    ASSERT_TRUE(usbCamera->isPoweredUp());
    ASSERT_TRUE(camera->isPoweredUp());
    ASSERT_EQ(link.hidListeners().size(), 1u);

    log.clear();
    // A command still waiting in the queue goes out before the power down.
    link.sendHIDCommand(HIDCommandZoom3);
    link.terminateAllUSBThreads();
    EXPECT_TRUE(link.usbInterfaces().empty());
    EXPECT_TRUE(link.hidInterfaces().empty());
    EXPECT_TRUE(link.hidListeners().empty());
    EXPECT_FALSE(link.isListeningOnDevice(0x16000000));
    char killing[64];
    std::snprintf(killing, sizeof killing, "Killing thread %p\n", static_cast<void *>(interface.get()));
    EXPECT_TRUE(log.contains(killing));

    link.waitForSendQueue();
    EXPECT_TRUE(usb->isClosed());
    EXPECT_TRUE(hid->isClosed());
    for (auto *simulated : {usbCamera.get(), camera.get()}) {
        const auto reports = received(*simulated);
        ASSERT_GE(reports.size(), 2u);
        EXPECT_EQ(reports[reports.size() - 2], (Bytes{0xCF, 0x02, 0x28, 0x0E}));
        EXPECT_EQ(reports.back(), Bytes{0xA3});
        EXPECT_FALSE(simulated->isPoweredUp());
    }
    // Nothing is open any more.
    EXPECT_FALSE(link.sendRawHIDCommand(CommandBytes{0x96}));
}

TEST(DeviceLinkStartUp, StateBeforeAnyDevice)
{
    DeviceLink link;
    EXPECT_EQ(link.deviceSerialNumber(), "NOT DETECTED");
    EXPECT_EQ(link.boardSerialNumber(), "NOT DETECTED");
    EXPECT_FALSE(link.sendHIDCommand(HIDCommandA2)); // no send queue yet
    EXPECT_FALSE(link.initialized());
    kelvo::ScopedLogCapture log;
    EXPECT_TRUE(link.startHIDInitialization());
    EXPECT_TRUE(link.startHIDInitialization());
    EXPECT_EQ(log.count("Initializing HID device\n"), 2);
    ASSERT_NE(link.deviceLinkQueue(), nullptr);
    EXPECT_EQ(link.deviceLinkQueue()->label(), "HID dispatch queue");
    EXPECT_TRUE(link.initialized());
    link.createSendQueue();
    EXPECT_EQ(link.sendQueue()->label(), "com.morvane.hidsendqueue");
    EXPECT_FALSE(link.testAndSetUpdateScannerLatch(false));
    EXPECT_TRUE(link.testAndSetUpdateScannerLatch(false));
    EXPECT_FALSE(link.testAndSetUpdateScannerLatch(true));
}

TEST_F(LinkFixture, SimulatedQuadrelAttachesLikeAScannedCamera)
{
    for (auto transport : {sim::SimulatedTransport::VendorUsb, sim::SimulatedTransport::Hid}) {
        auto demoCamera = std::make_shared<QuadrelSimulator>(sim::QuadrelIdentity{"DEMO", "B", "9.9", "0.1"});
        link.resetDeviceInfo();
        sim::attachSimulatedQuadrel(link, demoCamera, transport);
        link.waitForSendQueue();
        ASSERT_TRUE(pumpUntil([&] { return link.gotBootFirmwareVersion(); }));
        EXPECT_EQ(link.deviceSerialNumber(), "DEMO");
        EXPECT_EQ(link.deviceFirmwareVersion(), "9.9");
        EXPECT_TRUE(demoCamera->isPoweredUp());
        link.terminateAllUSBThreads();
        link.waitForSendQueue();
        EXPECT_FALSE(demoCamera->isPoweredUp());
    }
}
