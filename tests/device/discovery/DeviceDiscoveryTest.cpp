// Device discovery's rules over a scripted bus: how often opens are retried
// and how long it waits between tries, which answers count as attached, the
// log lines of each mode, and the firmware installer's state changes.
#include <gtest/gtest.h>

#include <deque>
#include <map>
#include <set>

#include <libusb.h>

#include "DeviceTestSupport.h"
#include "common/SerialQueue.h"
#include "common/SystemLog.h"
#include "device/DeviceDiscovery.h"
#include "device/DeviceLink.h"
#include "device/backend/LibusbTransport.h"
#include "device/sim/SimulatedHidDeviceIo.h"
#include "device/sim/SimulatedUsbPipeIo.h"

using namespace kelvo::device;
using namespace std::chrono_literals;
using kelvo::device::test::pumpUntil;

namespace {

constexpr std::uint32_t kLocationA = 0x01100000;
constexpr std::uint32_t kLocationB = 0x01200000;

// Hands discovery a simulated interface that the test can still inspect
// after discovery has closed and dropped it.
class SharedPipe : public UsbPipeIo {
public:
    explicit SharedPipe(std::shared_ptr<sim::SimulatedUsbPipeIo> io) : m_io(std::move(io)) {}
    std::uint32_t locationID() const override { return m_io->locationID(); }
    TransferStatus readPipe(std::uint8_t pipe, std::uint8_t *buffer, std::uint32_t capacity, std::uint32_t &transferred,
                            int timeoutMs) override
    {
        return m_io->readPipe(pipe, buffer, capacity, transferred, timeoutMs);
    }
    TransferStatus writePipeAsync(std::uint8_t pipe, const std::uint8_t *data, std::uint32_t size,
                                  WriteCallback callback) override
    {
        return m_io->writePipeAsync(pipe, data, size, std::move(callback));
    }
    TransferStatus clearPipeStallBothEnds(std::uint8_t pipe) override { return m_io->clearPipeStallBothEnds(pipe); }
    bool isConnected() const override { return m_io->isConnected(); }
    void close() override { m_io->close(); }

private:
    std::shared_ptr<sim::SimulatedUsbPipeIo> m_io;
};

// A bus whose answers a test scripts; opened devices are the simulated
// camera's in-process transports.
class ScriptedBus : public UsbBus {
public:
    struct Session : UsbDeviceSession {
        ScriptedBus &bus;
        UsbCandidate device;
        Session(ScriptedBus &owner, const UsbCandidate &candidate) : bus(owner), device(candidate) {}
        TransferStatus openDevice() override { return bus.next(bus.deviceOpenResults); }
        TransferStatus configurationValue(std::uint8_t &value) override
        {
            value = 1;
            return bus.configurationStatus;
        }
        TransferStatus setConfiguration(std::uint8_t) override { return TransferStatus::Success; }
        void closeDevice() override {}
        bool hasInterface(const InterfaceSearch &search) const override
        {
            return bus.interfaceClasses.count(search.interfaceClass) > 0;
        }
        std::unique_ptr<UsbPipeIo> openInterface(const InterfaceSearch &search, TransferStatus *status) override
        {
            bus.interfacesOpened.push_back(search.interfaceClass);
            *status = bus.next(bus.interfaceOpenResults);
            if (*status != TransferStatus::Success)
                return nullptr;
            bus.lastPipe = std::make_shared<sim::SimulatedUsbPipeIo>(bus.camera, device.locationID);
            return std::make_unique<SharedPipe>(bus.lastPipe);
        }
        std::vector<EndpointInfo> endpoints(const InterfaceSearch &) const override
        {
            return {{1, 1, 3, 64, 1}, {0, 2, 2, 512, 0}};
        }
    };

    bool hidAvailable() override { return hid; }
    std::vector<HidCandidate> enumerateHid(std::uint16_t, std::uint16_t) override { return hidDevices; }
    std::unique_ptr<HidDeviceIo> openHid(const HidCandidate &device, TransferStatus *status) override
    {
        hidOpens.push_back(device.path);
        *status = next(hidOpenResults[device.path]);
        if (*status != TransferStatus::Success)
            return nullptr;
        auto io = std::make_unique<sim::SimulatedHidDeviceIo>(camera, device.locationID);
        lastHid = io.get();
        return io;
    }
    std::vector<UsbCandidate> enumerateUsb(std::uint16_t, std::uint16_t productID) override
    {
        std::vector<UsbCandidate> found;
        for (const auto &device : usbDevices) {
            if (device.productID == productID)
                found.push_back(device);
        }
        return found;
    }
    std::unique_ptr<UsbDeviceSession> createSession(const UsbCandidate &device, TransferStatus *status) override
    {
        ++sessionsTried;
        *status = next(sessionResults);
        if (*status != TransferStatus::Success)
            return nullptr;
        return std::make_unique<Session>(*this, device);
    }

    // Answers the next scripted status; success once the script is used up.
    static TransferStatus next(std::deque<TransferStatus> &script)
    {
        if (script.empty())
            return TransferStatus::Success;
        const TransferStatus status = script.front();
        if (script.size() > 1 || status == TransferStatus::Success)
            script.pop_front();
        return status;
    }

    std::shared_ptr<sim::QuadrelSimulator> camera = std::make_shared<sim::QuadrelSimulator>();
    bool hid = true;
    std::vector<HidCandidate> hidDevices;
    std::map<std::string, std::deque<TransferStatus>> hidOpenResults; // the last status repeats
    std::vector<std::string> hidOpens;
    std::vector<UsbCandidate> usbDevices;
    std::deque<TransferStatus> sessionResults;
    std::deque<TransferStatus> deviceOpenResults;
    std::deque<TransferStatus> interfaceOpenResults;
    TransferStatus configurationStatus = TransferStatus::Success;
    std::set<int> interfaceClasses{3, 0xFF, 14};
    std::vector<int> interfacesOpened;
    int sessionsTried = 0;
    // The last opened interface, kept beyond its close for inspection.
    std::shared_ptr<sim::SimulatedUsbPipeIo> lastPipe;
    sim::SimulatedHidDeviceIo *lastHid = nullptr;
};

UsbCandidate camera(std::uint32_t location = kLocationA, std::uint16_t product = kQuadrelProductID)
{
    return {1, 2, location, kQuadrelVendorID, product};
}

struct DiscoveryFixture : ::testing::Test {
    void SetUp() override
    {
        link.createSendQueue();
        link.startHIDInitialization();
        discovery = std::make_unique<DeviceDiscovery>(link, bus);
        discovery->setSleeper([this](std::chrono::milliseconds duration) {
            sleeps.push_back(duration);
            return true;
        });
        discovery->setUnmountCameraDisk([this] { ++unmounts; });
        log.clear();
    }
    void TearDown() override
    {
        discovery.reset();
        link.terminateAllUSBThreads();
        link.waitForSendQueue();
    }

    // Runs a task on the device-link queue and waits for it.
    template <typename Task> auto onQueue(Task task)
    {
        decltype(task()) result{};
        link.deviceLinkQueue()->sync([&] { result = task(); });
        return result;
    }
    void scan()
    {
        onQueue([this] {
            discovery->scanHIDDevices();
            return 0;
        });
    }
    std::vector<std::string> printed() const
    {
        std::vector<std::string> lines;
        for (const auto &entry : log.entries()) {
            if (entry.channel == kelvo::LogChannel::StandardOutput)
                lines.push_back(entry.text);
        }
        return lines;
    }
    int sleepsOf(std::chrono::milliseconds duration) const
    {
        return static_cast<int>(std::count(sleeps.begin(), sleeps.end(), duration));
    }

    kelvo::ScopedLogCapture log;
    ScriptedBus bus;
    DeviceLink link;
    std::unique_ptr<DeviceDiscovery> discovery;
    std::vector<std::chrono::milliseconds> sleeps;
    int unmounts = 0;
};

} // namespace

TEST(TransferStatusDescriptionTest, NamesTheLoggedStatuses)
{
    // Raw numbers, so the values earlier logs printed stay pinned.
    const struct {
        std::uint32_t status;
        const char *text;
    } cases[] = {
        {0, "success"},
        {0xE00002CD, "not open"},
        {0xE00002C0, "noDevice"},
        {0xE00002BC, "UNKNOWN (e00002bc)"},
        {0xE000404F, "UNKNOWN (e000404f)"},
        {1, "UNKNOWN (1)"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(transferStatusDescription(static_cast<TransferStatus>(c.status)), c.text) << std::hex << c.status;
}

TEST(TransferStatusDescriptionTest, DescribesLibusbErrorsThroughTheirStatus)
{
    const struct {
        int error;
        const char *text;
    } cases[] = {
        {LIBUSB_SUCCESS, "success"},
        {LIBUSB_ERROR_NO_DEVICE, "noDevice"},
        {LIBUSB_ERROR_NOT_FOUND, "noDevice"},
        {LIBUSB_ERROR_PIPE, "UNKNOWN (e000404f)"},
        {LIBUSB_ERROR_BUSY, "UNKNOWN (e00002c5)"},
        {LIBUSB_ERROR_OTHER, "UNKNOWN (e00002bc)"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(transferStatusDescription(LibusbTransport::statusFromLibusbError(c.error)), c.text) << c.error;
}

TEST_F(DiscoveryFixture, HidScanRepeatsThePassUntilEveryDeviceIsOpen)
{
    // B refuses once; in the second pass A, already held, refuses as well and
    // is recognised by its location.
    bus.hidDevices = {{"/dev/hidrawA", kLocationA}, {"/dev/hidrawB", kLocationB}};
    bus.hidOpenResults["/dev/hidrawB"] = {TransferStatus::ExclusiveAccess, TransferStatus::Success};
    scan();

    EXPECT_EQ(bus.hidOpens, (std::vector<std::string>{"/dev/hidrawA", "/dev/hidrawB", "/dev/hidrawB"}));
    ASSERT_EQ(link.hidInterfaces().size(), 2u);
    EXPECT_EQ(log.count("HID device open returned -536870203\n"), 1);
    EXPECT_EQ(log.count("locationID: 17825792\n"), 2);
    EXPECT_EQ(printed(),
              std::vector<std::string>{"Ignoring interface open error because we have already opened it (error: "
                                       "e00002c5)\n"});
    EXPECT_EQ(log.count("Found HID-compatible Quadrel\n"), 1);
    EXPECT_EQ(unmounts, 1);
    EXPECT_TRUE(sleeps.empty()) << "passes follow each other without a pause";
    // Each opened device queued its own power-up: the camera is asked twice.
    EXPECT_TRUE(bus.camera->waitForReceivedCount(32, 5s));
}

TEST_F(DiscoveryFixture, HidScanGivesUpAfterAHundredPasses)
{
    bus.hidDevices = {{"/dev/hidrawA", kLocationA}};
    bus.hidOpenResults["/dev/hidrawA"] = {TransferStatus::NotResponding};
    scan();
    EXPECT_EQ(bus.hidOpens.size(), 100u);
    EXPECT_TRUE(link.hidInterfaces().empty());
    EXPECT_EQ(log.count("Found HID-compatible Quadrel\n"), 1);
}

TEST_F(DiscoveryFixture, RescanOfAnOpenCameraOpensNothingTwice)
{
    bus.hidDevices = {{"/dev/hidrawA", kLocationA}};
    scan();
    scan();
    EXPECT_EQ(bus.hidOpens.size(), 1u);
    EXPECT_EQ(link.hidInterfaces().size(), 1u);
    EXPECT_EQ(printed().size(), 1u);
}

TEST_F(DiscoveryFixture, UnusableHidFallsBackToVendorUsb)
{
    const struct {
        bool hidAvailable;
        const char *line;
    } cases[] = {{false, "Could not create HID manager\n"}, {true, "No HID-capable Quadrel devices found.\n"}};
    for (const auto &c : cases) {
        log.clear();
        bus.hid = c.hidAvailable;
        bus.usbDevices = {camera()};
        scan();
        EXPECT_TRUE(log.contains(c.line)) << c.line;
        EXPECT_TRUE(log.contains("Got Quadrel device in camera mode\n"));
        EXPECT_FALSE(log.contains("Found HID-compatible Quadrel\n"));
    }
    // The second scan found the interface already held.
    EXPECT_EQ(link.usbInterfaces().size(), 1u);
    EXPECT_EQ(link.hidListeners().size(), 1u);
    EXPECT_EQ(bus.interfacesOpened, std::vector<int>{3});
    EXPECT_TRUE(bus.camera->waitForReceivedCount(16, 5s));
}

TEST_F(DiscoveryFixture, FallbackRetriesEveryTwoSecondsWhileACameraFailsToAttach)
{
    bus.hid = false;
    bus.usbDevices = {camera()};
    bus.sessionResults = {TransferStatus::Error};
    scan();
    EXPECT_EQ(bus.sessionsTried, 100);
    EXPECT_EQ(sleepsOf(2s), 99);
    EXPECT_EQ(sleepsOf(200ms), 100) << "each failed interface creation pauses";
    EXPECT_EQ(log.count("Could not create interface: e00002bc -536870212\n"), 100);
    EXPECT_EQ(log.count("Something went wrong.\n"), 100);
    EXPECT_EQ(link.firmwareUploadState(), 0);
}

TEST_F(DiscoveryFixture, FallbackOnAnEmptyBusEndsAtOnce)
{
    bus.hid = false;
    scan();
    EXPECT_EQ(bus.sessionsTried, 0);
    EXPECT_TRUE(sleeps.empty());
}

TEST_F(DiscoveryFixture, InterfaceCreationRetriesBusyUnsupportedAndUnlistedFiveTimes)
{
    const struct {
        std::deque<TransferStatus> results;
        bool attached;
        int tries;
        int pauses;
    } cases[] = {
        {{TransferStatus::ExclusiveAccess, TransferStatus::Unsupported, TransferStatus::Success}, true, 3, 2},
        {{TransferStatus::ExclusiveAccess}, false, 5, 6},
        {{TransferStatus::Error}, false, 1, 1},
        // Announced by udev before libusb lists it.
        {{TransferStatus::NoDevice, TransferStatus::NoDevice, TransferStatus::Success}, true, 3, 2},
    };
    for (const auto &c : cases) {
        link.terminateAllUSBThreads();
        link.waitForSendQueue();
        bus.sessionResults = c.results;
        bus.sessionsTried = 0;
        sleeps.clear();
        const bool attached = onQueue([&] { return discovery->deviceAdded({camera()}, AttachMode::Camera); });
        EXPECT_EQ(attached, c.attached);
        EXPECT_EQ(bus.sessionsTried, c.tries);
        EXPECT_EQ(sleepsOf(200ms), c.pauses);
    }
}

TEST_F(DiscoveryFixture, CameraAttachListsEndpointsAndStartsTheReader)
{
    bus.camera->setIdentity({"SER-1", "BRD-1", "4.2", "0.9"});
    EXPECT_TRUE(onQueue([&] { return discovery->deviceAdded({camera()}, AttachMode::Camera); }));
    ASSERT_EQ(link.usbInterfaces().size(), 1u);
    const auto interface = link.usbInterfaces().front();
    EXPECT_EQ(interface->readPipe(), 1);
    EXPECT_EQ(interface->writePipe(), 2);
    EXPECT_EQ(link.hidListeners().size(), 1u);
    const std::vector<std::string> expected = {
        "Got Quadrel device in camera mode\n",
        "Number of endpoints: 2\n",
        "Pipe 1: direction: IN, number: 1, transferType: Interrupt, maxPacketSize:64, interval: 1\n",
        "Pipe 2: direction: OUT, number: 2, transferType: Bulk, maxPacketSize:512, interval: 0\n",
    };
    EXPECT_EQ(log.lines(), expected);
    EXPECT_EQ(bus.lastPipe->clearStallCount(1), 1);
    EXPECT_TRUE(pumpUntil([&] { return link.gotBootFirmwareVersion(); }, 5s));
    EXPECT_EQ(link.deviceSerialNumber(), "SER-1");
}

TEST_F(DiscoveryFixture, InterfaceOpenFailureIsOnlyAnErrorForADeviceNotHeld)
{
    bus.interfaceOpenResults = {TransferStatus::ExclusiveAccess};
    EXPECT_FALSE(onQueue([&] { return discovery->deviceAdded({camera()}, AttachMode::Camera); }));
    EXPECT_EQ(printed(), std::vector<std::string>{"Could not open interface (error: e00002c5)\n"});
    EXPECT_TRUE(log.contains("Something went wrong.\n"));

    // Held already (through HID): ignored, and the next device is tried.
    log.clear();
    bus.interfaceOpenResults.clear();
    bus.hidDevices = {{"/dev/hidrawA", kLocationA}};
    scan();
    EXPECT_TRUE(onQueue([&] { return discovery->deviceAdded({camera(), camera(kLocationB)}, AttachMode::Camera); }));
    EXPECT_EQ(bus.interfacesOpened.size(), 2u) << "the held device is not opened again";
    EXPECT_EQ(link.usbInterfaces().size(), 1u);
    EXPECT_EQ(link.usbInterfaces().front()->locationID(), kLocationB);
}

TEST_F(DiscoveryFixture, FirmwareUpdateAttachWithoutUploadClosesTheDevice)
{
    EXPECT_TRUE(onQueue([&] {
        return discovery->deviceAdded({camera(kLocationA, kQuadrelFirmwareUpdateProductID)},
                                      AttachMode::FirmwareUpdate);
    }));
    EXPECT_TRUE(log.contains("Found quadrel in DFU (firmware update) mode\n"));
    EXPECT_TRUE(link.usbInterfaces().empty());
    ASSERT_NE(bus.lastPipe, nullptr);
    EXPECT_TRUE(bus.lastPipe->isClosed());
}

TEST_F(DiscoveryFixture, FirmwareUpdateFailuresEndInTheFatalState)
{
    const struct {
        const char *name;
        std::deque<TransferStatus> deviceOpen;
        TransferStatus configuration;
        std::set<int> interfaces;
        const char *line;
        int secondPauses;
    } cases[] = {
        {"busy",
         {TransferStatus::ExclusiveAccess},
         TransferStatus::Success,
         {0xFF},
         "Could not open device in DFU mode (error = 0xe00002c5)\n",
         9},
        {"no descriptor",
         {},
         TransferStatus::NoDevice,
         {0xFF},
         "Could not obtain configuration descriptor (error = 0xe00002c0)\n",
         0},
        {"no interface", {}, TransferStatus::Success, {3}, "Device has no interfaces!\n", 0},
    };
    for (const auto &c : cases) {
        log.clear();
        sleeps.clear();
        link.storeFirmwareUploadState(0);
        bus.deviceOpenResults = c.deviceOpen;
        bus.configurationStatus = c.configuration;
        bus.interfaceClasses = c.interfaces;
        EXPECT_FALSE(onQueue([&] {
            return discovery->deviceAdded({camera(kLocationA, kQuadrelFirmwareUpdateProductID)},
                                          AttachMode::FirmwareUpdate);
        })) << c.name;
        EXPECT_TRUE(log.contains(c.line)) << c.name;
        EXPECT_TRUE(log.contains("Something went wrong.\n")) << c.name;
        EXPECT_EQ(link.firmwareUploadState(), kFirmwareStateFatal) << c.name;
        EXPECT_EQ(sleepsOf(1s), c.secondPauses) << c.name;
    }
}

TEST_F(DiscoveryFixture, CameraAttachFailureLeavesTheInstallerAlone)
{
    bus.interfaceClasses = {0xFF};
    for (AttachMode mode : {AttachMode::Camera, AttachMode::ResetPipeStall}) {
        link.storeFirmwareUploadState(0);
        EXPECT_FALSE(onQueue([&] { return discovery->deviceAdded({camera()}, mode); }));
        EXPECT_EQ(link.firmwareUploadState(), 0);
    }
    EXPECT_EQ(log.count("Device has no interfaces!\n"), 2);
}

TEST_F(DiscoveryFixture, PostUpdateAttachStopsAtTheFirstReturnedCamera)
{
    const struct {
        std::int32_t state;
        int devicesLookedAt;
    } cases[] = {{0, 2}, {3, 1}, {6, 1}, {7, 1}};
    for (const auto &c : cases) {
        log.clear();
        link.storeFirmwareUploadState(c.state);
        EXPECT_TRUE(onQueue([&] {
            return discovery->deviceAdded({camera(), camera(kLocationB)}, AttachMode::CameraPostUpdate);
        }));
        EXPECT_EQ(log.count("Got Quadrel device in camera post-update mode\n"), c.devicesLookedAt) << c.state;
    }
    EXPECT_EQ(bus.sessionsTried, 0) << "the post-update attach opens nothing";
}

TEST_F(DiscoveryFixture, PipeStallResetClearsTheReadPipeAndCloses)
{
    EXPECT_TRUE(onQueue([&] { return discovery->deviceAdded({camera()}, AttachMode::ResetPipeStall); }));
    const std::vector<std::string> expected = {
        "Got Quadrel device in resetPipeStall mode\n", "Scanning for interfaces to reset pipe stalls in\n",
        "Attempting to reset pipe stall...\n",         "ClearPipeStall returned success\n",
        "USBInterfaceClose returned success\n",        "Done.\n",
    };
    EXPECT_EQ(log.lines(), expected);
    EXPECT_EQ(bus.interfacesOpened, std::vector<int>{14});
    EXPECT_EQ(bus.lastPipe->clearStallCount(1), 1);
    EXPECT_TRUE(bus.lastPipe->isClosed());
    EXPECT_TRUE(link.usbInterfaces().empty());
}

TEST_F(DiscoveryFixture, WatchersRegisterOncePerKindAndStuckResetsEveryTime)
{
    discovery->startFirmwareUpdateScanner(false);
    discovery->startFirmwareUpdateScanner(false);
    discovery->startFirmwareUpdateScanner(true);
    discovery->startFirmwareUpdateScanner(true);
    discovery->resetStuckVideoDevice();
    discovery->resetStuckVideoDevice();
    onQueue([] { return 0; });
    EXPECT_EQ(discovery->watcherCount(AttachMode::FirmwareUpdate), 1);
    EXPECT_EQ(discovery->watcherCount(AttachMode::CameraPostUpdate), 1);
    EXPECT_EQ(discovery->watcherCount(AttachMode::ResetPipeStall), 2);
    EXPECT_EQ(log.count("Resetting stuck video device\n"), 2);

    // An arrival reaches every watcher of its product: the camera in camera
    // mode gets the post-update attach and two pipe-stall resets.
    log.clear();
    discovery->deviceArrived(camera());
    onQueue([] { return 0; });
    EXPECT_EQ(log.count("Got Quadrel device in camera post-update mode\n"), 1);
    EXPECT_EQ(log.count("Got Quadrel device in resetPipeStall mode\n"), 2);
    EXPECT_EQ(log.count("Got Quadrel device in firmware update mode\n"), 0);
}

TEST_F(DiscoveryFixture, UnresponsiveHidDeviceTriggersTheStuckVideoReset)
{
    bus.hidDevices = {{"/dev/hidrawA", kLocationA}};
    bus.usbDevices = {camera()};
    scan();
    link.waitForSendQueue();
    ASSERT_NE(bus.lastHid, nullptr);
    log.clear();
    bus.lastHid->failOutputReports(TransferStatus::NotResponding, 1);
    EXPECT_FALSE(link.sendRawHIDCommand(CommandBytes{0x96}));
    onQueue([] { return 0; });
    EXPECT_EQ(log.count("Resetting stuck video device\n"), 1);
    EXPECT_EQ(log.count("Got Quadrel device in resetPipeStall mode\n"), 1);
    EXPECT_EQ(discovery->watcherCount(AttachMode::ResetPipeStall), 1);
}

TEST_F(DiscoveryFixture, DepartureRemovesTheDevicesAtThatLocation)
{
    bus.hidDevices = {{"/dev/hidrawA", kLocationA}};
    scan();
    EXPECT_TRUE(onQueue([&] { return discovery->deviceAdded({camera(kLocationB)}, AttachMode::Camera); }));
    link.waitForSendQueue();
    ASSERT_TRUE(pumpUntil([&] { return link.gotDeviceSerialNumber(); }, 5s));

    discovery->deviceDeparted(kLocationB);
    ASSERT_TRUE(pumpUntil([&] { return link.usbInterfaces().empty(); }, 5s));
    EXPECT_EQ(link.hidInterfaces().size(), 1u);
    EXPECT_EQ(link.deviceSerialNumber(), "NOT DETECTED");
    EXPECT_TRUE(pumpUntil([&] { return bus.lastPipe->isClosed(); }, 5s));

    discovery->deviceDeparted(kLocationA);
    ASSERT_TRUE(pumpUntil([&] { return link.hidInterfaces().empty(); }, 5s));
}

TEST_F(DiscoveryFixture, DestructionCutsALongFallbackShort)
{
    discovery->setSleeper({}); // real waits
    bus.hid = false;
    bus.usbDevices = {camera()};
    bus.sessionResults = {TransferStatus::NoDevice};
    discovery->doHIDRescan();
    ASSERT_TRUE(pumpUntil([&] { return bus.sessionsTried >= 1; }, 5s));
    discovery.reset(); // would otherwise wait out 100 rounds of 2 s
    EXPECT_LT(bus.sessionsTried, 100);
}
