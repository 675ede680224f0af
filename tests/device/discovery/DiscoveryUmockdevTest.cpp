// The real scan (hidapi, libusb, libudev, Qt D-Bus) against the simulated
// camera on an emulated USB bus: the camera present at start, plugged in
// later, twice, pulled out; its firmware-update and post-update modes; its
// disk; and the probe.
#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>

#include <deque>
#include <future>
#include <map>

#include "DeviceTestSupport.h"
#include "QuadrelUmockdevBed.h"
#include "common/SerialQueue.h"
#include "common/SystemLog.h"
#include "device/DeviceDiscovery.h"
#include "device/DeviceLink.h"
#include "device/backend/LaunchEventChannel.h"
#include "device/backend/LinuxDeviceDiscovery.h"
#include "device/backend/LinuxUsbBus.h"
#include "device/backend/QuadrelProbe.h"
#include "device/backend/UDisksUnmounter.h"

using namespace kelvo::device;
using namespace std::chrono_literals;
using kelvo::device::test::pumpUntil;
using kelvo::device::test::RecordingViewer;
using kelvo::device::umock::QuadrelUmockdevBed;

namespace {

sim::QuadrelIdentity identityNumbered(int n)
{
    const std::string suffix = std::to_string(n);
    return {"QDL-UMOCK-" + suffix, "BRD-UMOCK-" + suffix, "3.0." + suffix, "1." + suffix};
}

int countCode(const sim::QuadrelSimulator &camera, std::uint8_t code)
{
    int count = 0;
    for (const auto &entry : camera.receivedReports())
        count += entry.report[0] == code ? 1 : 0;
    return count;
}

// The identity requests of one power-up, in order.
bool askedForIdentity(const sim::QuadrelSimulator &camera)
{
    std::vector<std::uint8_t> codes;
    for (const auto &entry : camera.receivedReports())
        codes.push_back(entry.report[0]);
    const std::vector<std::uint8_t> tail = {0xA2, 0x99, 0xAC, 0x9A, 0xAE};
    return std::search(codes.begin(), codes.end(), tail.begin(), tail.end()) != codes.end();
}

struct Camera {
    std::shared_ptr<sim::QuadrelSimulator> simulator;
    std::unique_ptr<QuadrelUmockdevBed> bed;
};

struct DiscoveryUmockdev : ::testing::Test {
    void SetUp() override
    {
        if (!QuadrelUmockdevBed::inMockEnvironment())
            GTEST_SKIP() << "needs umockdev-wrapper";
        // Holds the emulated bus for the whole test: libusb and the udev
        // watcher stay bound to the testbed that exists when they start.
        keeper = std::make_unique<QuadrelUmockdevBed>(std::make_shared<sim::QuadrelSimulator>(),
                                                      QuadrelUmockdevBed::Options{9, false, false});
        link = std::make_unique<DeviceLink>();
        link->setViewerActions(&viewer);
        link->createSendQueue();
        link->startHIDInitialization();
        log.clear();
    }

    void TearDown() override
    {
        platform.reset();
        discovery.reset();
        if (link) {
            link->setViewerActions(nullptr);
            link.reset();
        }
        cameras.clear();
        keeper.reset();
    }

    Camera &plug(int port, QuadrelUmockdevBed::Options options = {}, bool plugIn = true)
    {
        options.port = port;
        Camera camera;
        camera.simulator = std::make_shared<sim::QuadrelSimulator>(identityNumbered(port));
        camera.bed = std::make_unique<QuadrelUmockdevBed>(camera.simulator, options);
        if (plugIn) {
            std::string error;
            EXPECT_TRUE(camera.bed->plugIn(&error)) << error;
        }
        cameras.push_back(std::move(camera));
        return cameras.back();
    }

    // Discovery over the real bus with instant waits and without the udev
    // watcher.
    void useScanOnly()
    {
        discovery = std::make_unique<DeviceDiscovery>(*link, bus);
        discovery->setSleeper([](std::chrono::milliseconds) { return true; });
    }

    void useLinuxDiscovery()
    {
        LinuxDeviceDiscovery::Options options;
        options.udisksBusAddress = QStringLiteral("unix:path=/nonexistent/kelvo-test-bus");
        options.attachServerName = serverName;
        platform = std::make_unique<LinuxDeviceDiscovery>(*link, options);
        ASSERT_TRUE(platform->isWatchingBus());
    }

    template <typename Task> void onQueue(Task task) { link->deviceLinkQueue()->sync(task); }

    bool identified(const sim::QuadrelIdentity &identity)
    {
        return pumpUntil([&] { return link->gotBootFirmwareVersion() && link->gotDeviceSerialNumber(); }, 5s) &&
               link->deviceSerialNumber().toStdString() == identity.deviceSerialNumber &&
               link->bootFirmwareVersion().toStdString() == identity.bootFirmwareVersion;
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

    const QString serverName = QStringLiteral("kelvo-discovery-test-%1").arg(QCoreApplication::applicationPid());
    kelvo::ScopedLogCapture log;
    std::unique_ptr<QuadrelUmockdevBed> keeper;
    std::deque<Camera> cameras;
    RecordingViewer viewer;
    LinuxUsbBus bus;
    std::unique_ptr<DeviceLink> link;
    std::unique_ptr<DeviceDiscovery> discovery;
    std::unique_ptr<LinuxDeviceDiscovery> platform;
};

// Fails the first open of one HID device, then behaves like the real bus.
class FirstOpenFails : public UsbBus {
public:
    explicit FirstOpenFails(UsbBus &real, std::string path) : m_real(real), m_path(std::move(path)) {}
    bool hidAvailable() override { return m_real.hidAvailable(); }
    std::vector<HidCandidate> enumerateHid(std::uint16_t v, std::uint16_t p) override
    {
        return m_real.enumerateHid(v, p);
    }
    std::unique_ptr<HidDeviceIo> openHid(const HidCandidate &device, TransferStatus *status) override
    {
        if (device.path == m_path && !m_failed) {
            m_failed = true;
            *status = TransferStatus::ExclusiveAccess;
            return nullptr;
        }
        return m_real.openHid(device, status);
    }
    std::vector<UsbCandidate> enumerateUsb(std::uint16_t v, std::uint16_t p) override
    {
        return m_real.enumerateUsb(v, p);
    }
    std::unique_ptr<UsbDeviceSession> createSession(const UsbCandidate &device, TransferStatus *status) override
    {
        return m_real.createSession(device, status);
    }

private:
    UsbBus &m_real;
    const std::string m_path;
    bool m_failed = false;
};

} // namespace

TEST_F(DiscoveryUmockdev, CameraPresentAtStart)
{
    Camera &camera = plug(1);
    useLinuxDiscovery();
    platform->doHIDRescan();
    ASSERT_TRUE(identified(identityNumbered(1)));
    EXPECT_EQ(link->hidInterfaces().size(), 1u);
    EXPECT_TRUE(link->usbInterfaces().empty()) << "the HID interface was usable";
    EXPECT_TRUE(link->isListeningOnDevice(camera.bed->locationID()));
    EXPECT_EQ(countCode(*camera.simulator, 0x99), 1);
    const auto lines = log.lines();
    const std::vector<std::string> scan(lines.begin(), lines.begin() + 3);
    EXPECT_EQ(scan, (std::vector<std::string>{"HID rescan running.\n", "locationID: 17825792\n",
                                              "Found HID-compatible Quadrel\n"}));
    EXPECT_TRUE(log.contains("******************* No disk. *******************\n"));
}

TEST_F(DiscoveryUmockdev, CameraPluggedInLater)
{
    useLinuxDiscovery();
    DeviceAttachHandler &handler = platform->attachHandler();
    handler.setRestartDelay(20ms);
    int releases = 0;
    handler.setCaptureRelease([&] { ++releases; });
    // The viewer's capture restart selects the camera again, which rescans.
    handler.setCaptureRestart([&] { platform->doHIDRescan(); });
    ASSERT_TRUE(platform->tellLaunchDaemonNotToRestartUs());
    platform->doHIDRescan();
    onQueue([] {});
    EXPECT_TRUE(log.contains("No HID-capable Quadrel devices found.\n"));

    Camera &camera = plug(1);
    ASSERT_TRUE(identified(identityNumbered(1)));
    EXPECT_EQ(releases, 1);
    EXPECT_TRUE(log.contains("Received event: /devices/usb1/1-1: 258"));
    EXPECT_TRUE(log.contains("Kickstart 1\n"));
    EXPECT_EQ(link->hidInterfaces().size(), 1u);
    EXPECT_TRUE(askedForIdentity(*camera.simulator));

    // The launch that udev starts for the same arrival hands its event over;
    // the running viewer logs it and does not restart capture again.
    const AttachEvent again = attachEventForPresentCamera();
    EXPECT_EQ(again.serviceID, 258u);
    auto handedOver = std::async(std::launch::async,
                                 [&] { return LaunchEventChannel::handOffToRunningInstance(again, serverName, 2000); });
    ASSERT_TRUE(pumpUntil([&] { return handedOver.wait_for(0ms) == std::future_status::ready; }, 5s));
    EXPECT_TRUE(handedOver.get());
    ASSERT_TRUE(pumpUntil([&] { return log.count("Received event: /devices/usb1/1-1: 258") == 2; }, 2s));
    kelvo::device::test::pumpFor(100ms);
    EXPECT_EQ(releases, 1);
}

TEST_F(DiscoveryUmockdev, TwoCamerasEachGetTheirOwnPowerUp)
{
    Camera &first = plug(1);
    Camera &second = plug(2);
    useScanOnly();
    onQueue([&] { discovery->scanHIDDevices(); });
    ASSERT_EQ(link->hidInterfaces().size(), 2u);
    EXPECT_TRUE(link->isListeningOnDevice(first.bed->locationID()));
    EXPECT_TRUE(link->isListeningOnDevice(second.bed->locationID()));
    link->waitForSendQueue();
    // Two power-ups were queued, one per camera; each reached the camera that
    // was open when it was sent, so each camera answered at least its own.
    ASSERT_TRUE(
        pumpUntil([&] { return askedForIdentity(*first.simulator) && askedForIdentity(*second.simulator); }, 5s));
    EXPECT_EQ(countCode(*first.simulator, 0x99) + countCode(*second.simulator, 0x99) >= 3, true);
    EXPECT_EQ(std::max(countCode(*first.simulator, 0x99), countCode(*second.simulator, 0x99)), 2);
    EXPECT_FALSE(log.contains("Could not send power up command.\n"));
    EXPECT_TRUE(printed().empty());
}

TEST_F(DiscoveryUmockdev, FirstHidOpenFails)
{
    plug(1);
    Camera &second = plug(2);
    FirstOpenFails failing(bus, second.bed->hidrawPath());
    discovery = std::make_unique<DeviceDiscovery>(*link, failing);
    onQueue([&] { discovery->scanHIDDevices(); });
    EXPECT_EQ(log.count("HID device open returned -536870203\n"), 1);
    // The second pass found the first camera held by this program.
    EXPECT_EQ(printed(), std::vector<std::string>{"Ignoring interface open error because we have already opened it "
                                                  "(error: e00002c5)\n"});
    EXPECT_EQ(link->hidInterfaces().size(), 2u);
    EXPECT_EQ(log.count("locationID: 17825792\n"), 2);
    EXPECT_EQ(log.count("locationID: 18874368\n"), 2);
    EXPECT_TRUE(pumpUntil([&] { return askedForIdentity(*second.simulator); }, 5s));
}

TEST_F(DiscoveryUmockdev, RemovalResetsTheIdentity)
{
    Camera &camera = plug(1);
    useLinuxDiscovery();
    platform->doHIDRescan();
    ASSERT_TRUE(identified(identityNumbered(1)));
    camera.bed->unplug();
    ASSERT_TRUE(pumpUntil([&] { return link->hidInterfaces().empty(); }, 5s));
    EXPECT_TRUE(pumpUntil([&] { return link->deviceSerialNumber() == "NOT DETECTED"; }, 5s));
    EXPECT_EQ(link->boardSerialNumber(), "NOT DETECTED");
    EXPECT_EQ(link->deviceFirmwareVersion(), "NOT DETECTED");
    EXPECT_EQ(link->bootFirmwareVersion(), "NOT DETECTED");
    EXPECT_FALSE(link->gotDeviceSerialNumber());
    EXPECT_FALSE(link->isListeningOnDevice(camera.bed->locationID()));
}

TEST_F(DiscoveryUmockdev, FallbackThroughLibusb)
{
    // The camera's interface through libusb, then pulled out: the udev
    // "remove" runs the removal handling once.
    Camera &camera = plug(1);
    useLinuxDiscovery();
    onQueue([&] { platform->discovery().deviceAddedMainLegacy(); });
    ASSERT_EQ(link->usbInterfaces().size(), 1u);
    const auto interface = link->usbInterfaces().front();
    EXPECT_TRUE(log.contains("Got Quadrel device in camera mode\n"));
    EXPECT_TRUE(log.contains("Number of endpoints: 2\n"));
    EXPECT_TRUE(
        log.contains("Pipe 1: direction: IN, number: 1, transferType: Interrupt, maxPacketSize:64, interval: 1\n"));
    EXPECT_TRUE(
        log.contains("Pipe 2: direction: OUT, number: 2, transferType: Interrupt, maxPacketSize:64, interval: 1\n"));
    ASSERT_TRUE(identified(identityNumbered(1)));

    camera.bed->unplug();
    ASSERT_TRUE(pumpUntil([&] { return link->usbInterfaces().empty() && interface->isClosed(); }, 5s));
    EXPECT_TRUE(link->hidListeners().empty());
    EXPECT_EQ(link->deviceSerialNumber(), "NOT DETECTED");
}

TEST_F(DiscoveryUmockdev, FirmwareUpdateModeAcceptedOnlyInState0)
{
    QuadrelUmockdevBed::Options dfu;
    dfu.firmwareUpdateMode = true;
    Camera &camera = plug(1, dfu);
    useScanOnly();
    std::promise<std::shared_ptr<VendorUsbInterface>> handed;
    discovery->setFirmwareUploadHandler(
        [&](std::shared_ptr<VendorUsbInterface> interface) { handed.set_value(std::move(interface)); });

    const auto devices = bus.enumerateUsb(kQuadrelVendorID, kQuadrelFirmwareUpdateProductID);
    ASSERT_EQ(devices.size(), 1u);
    for (std::int32_t state = 1; state <= 7; ++state) {
        log.clear();
        link->storeFirmwareUploadState(state);
        bool attached = false;
        onQueue([&] { attached = discovery->deviceAdded(devices, AttachMode::FirmwareUpdate); });
        EXPECT_TRUE(attached) << "ignored is not a failure";
        EXPECT_EQ(log.lines(),
                  (std::vector<std::string>{"Got Quadrel device in firmware update mode\n",
                                            "After update handler ignoring device attach because we're NOT "
                                            "waiting for it in DFU mode.\n"}))
            << state;
        EXPECT_EQ(link->firmwareUploadState(), state);
    }
    EXPECT_TRUE(link->usbInterfaces().empty());

    link->storeFirmwareUploadState(0);
    discovery->startFirmwareUpdateScanner(false);
    discovery->startFirmwareUpdateScanner(false);
    onQueue([] {});
    EXPECT_EQ(discovery->watcherCount(AttachMode::FirmwareUpdate), 1);
    auto future = handed.get_future();
    ASSERT_EQ(future.wait_for(5s), std::future_status::ready);
    const auto interface = future.get();
    EXPECT_EQ(interface->locationID(), camera.bed->locationID());
    EXPECT_EQ(interface->readPipe(), 0);
    EXPECT_TRUE(log.contains("Found quadrel in DFU (firmware update) mode\n"));
    EXPECT_TRUE(log.contains("Pipe 2: direction: OUT, number: 1, transferType: Bulk, maxPacketSize:64, interval: 0\n"));
    EXPECT_EQ(link->usbInterfaces().size(), 1u);
    EXPECT_TRUE(link->hidListeners().empty());
    EXPECT_EQ(link->firmwareUploadState(), 0);
}

TEST_F(DiscoveryUmockdev, PostUpdateModeStates)
{
    plug(1);
    useLinuxDiscovery();
    DeviceDiscovery &watchers = platform->discovery();
    std::vector<std::int32_t> set;
    watchers.setFirmwareUploadStateSetter([&](std::int32_t state) {
        set.push_back(state);
        link->storeFirmwareUploadState(state);
    });
    const struct {
        std::int32_t before;
        std::int32_t after;
        const char *line;
    } cases[] = {
        {0, 0, "After update handler ignoring device attach because we're waiting for it in DFU mode.\n"},
        {1, 4, "Changing to kDeviceReappeared\n"},
        {2, 4, "Changing to kDeviceReappeared\n"},
        {3, 4, "Changing to kDeviceReappeared\n"},
        {4, 4, "Changing to kDeviceReappeared\n"},
        {5, 4, "Changing to kDeviceReappeared\n"},
        {6, 0, "Changing to kWaitingForDeviceInDFUMode\n"},
        {7, 7, nullptr},
    };
    const auto devices = bus.enumerateUsb(kQuadrelVendorID, kQuadrelProductID);
    ASSERT_EQ(devices.size(), 1u);
    for (const auto &c : cases) {
        log.clear();
        set.clear();
        link->storeFirmwareUploadState(c.before);
        onQueue([&] { watchers.deviceAdded(devices, AttachMode::CameraPostUpdate); });
        EXPECT_EQ(link->firmwareUploadState(), c.after) << c.before;
        std::vector<std::string> expected{"Got Quadrel device in camera post-update mode\n",
                                          "******************* No disk. *******************\n"};
        if (c.line)
            expected.push_back(c.line);
        EXPECT_EQ(log.lines(), expected) << c.before;
        EXPECT_EQ(set.size(), c.line && c.before != 0 ? 1u : 0u) << "through the installer's setter";
    }
    EXPECT_TRUE(link->usbInterfaces().empty() && link->hidInterfaces().empty()) << "nothing is opened";

    // The watcher, started twice, registers once and answers the camera's
    // return in camera mode.
    log.clear();
    link->storeFirmwareUploadState(2);
    watchers.startFirmwareUpdateScanner(true);
    watchers.startFirmwareUpdateScanner(true);
    onQueue([] {});
    EXPECT_EQ(watchers.watcherCount(AttachMode::CameraPostUpdate), 1);
    EXPECT_EQ(link->firmwareUploadState(), 4) << "the camera was already back";
    link->storeFirmwareUploadState(1);
    // A camera arriving in camera mode (the emulated bus cannot take the
    // same camera out and back in on one port).
    plug(2);
    EXPECT_TRUE(pumpUntil([&] { return link->firmwareUploadState() == 4; }, 5s));
    EXPECT_EQ(log.count("Got Quadrel device in camera post-update mode\n"), 2);
}

TEST_F(DiscoveryUmockdev, StuckVideoResetNeverTakesTheVideoDriversInterface)
{
    QuadrelUmockdevBed::Options held;
    held.withVideoInterface = true;
    QuadrelUmockdevBed::Options free = held;
    free.videoDriverBound = false;
    Camera &capturing = plug(1, held);
    Camera &idle = plug(2, free);
    useScanOnly();
    discovery->resetStuckVideoDevice();
    onQueue([] {});
    EXPECT_EQ(log.count("Got Quadrel device in resetPipeStall mode\n"), 2);
    // The camera whose video driver holds the interface refuses it.
    EXPECT_EQ(printed(), std::vector<std::string>{"Could not open interface (error: e00002c5)\n"});
    EXPECT_EQ(log.count("Something went wrong.\n"), 1);
    EXPECT_EQ(capturing.bed->clearHaltCount(), 0);
    EXPECT_TRUE(capturing.bed->videoDriverBound());
    // The other one has its video pipe cleared and is let go again.
    EXPECT_EQ(idle.bed->clearHaltCount(), 1);
    EXPECT_EQ(log.count("ClearPipeStall returned success\n"), 1);
    EXPECT_EQ(log.count("USBInterfaceClose returned success\n"), 1);
    EXPECT_EQ(log.count("Done.\n"), 1);
    EXPECT_TRUE(link->usbInterfaces().empty());
    EXPECT_EQ(link->firmwareUploadState(), 0);
}

TEST_F(DiscoveryUmockdev, NoUDisks2OnTheBus)
{
    QuadrelUmockdevBed::Options withDisk;
    withDisk.withDisk = true;
    Camera &camera = plug(1, withDisk);
    EXPECT_EQ(UDisksUnmounter::blockDevicesBelow(kQuadrelVendorID, kQuadrelProductID), camera.bed->diskNames());

    // A private message bus on which nothing provides UDisks2.
    QProcess daemon;
    daemon.start(QStringLiteral("dbus-daemon"),
                 {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address=1")});
    ASSERT_TRUE(daemon.waitForStarted(5000));
    ASSERT_TRUE(daemon.waitForReadyRead(5000));
    const QString address = QString::fromUtf8(daemon.readLine()).trimmed();
    {
        UDisksUnmounter unmounter(address);
        unmounter.unmountCameraDisk();
    }
    daemon.kill();
    daemon.waitForFinished(2000);
    EXPECT_TRUE(log.contains("******************* No disk. *******************\n"));
    EXPECT_FALSE(log.contains("******************* Disk exists. *******************\n"));

    // No bus at all.
    log.clear();
    UDisksUnmounter(QStringLiteral("unix:path=/nonexistent/bus")).unmountCameraDisk();
    EXPECT_TRUE(log.contains("******************* No disk. *******************\n"));
}

namespace {

// UDisks2's block objects on a private bus: the disk has no filesystem, the
// partition refuses the unmount a given number of times.
class FakeUDisks : public QDBusVirtualObject {
public:
    QString introspect(const QString &) const override { return {}; }
    bool handleMessage(const QDBusMessage &message, const QDBusConnection &connection) override
    {
        const QString object = message.path().section('/', -1);
        QDBusMessage reply;
        if (message.member() == QStringLiteral("Get")) {
            reply = message.createReply(QVariant::fromValue(QDBusVariant(QByteArray("/dev/") + object.toUtf8())));
        } else if (message.member() == QStringLiteral("Unmount")) {
            std::lock_guard lock(mutex);
            ++unmountCalls[object.toStdString()];
            if (!object.endsWith('1'))
                reply = message.createErrorReply(QStringLiteral("org.freedesktop.DBus.Error.UnknownMethod"),
                                                 QStringLiteral("no filesystem"));
            else if (silent)
                return true; // never answers
            else if (refusals-- > 0)
                reply = message.createErrorReply(QStringLiteral("org.freedesktop.UDisks2.Error.DeviceBusy"),
                                                 QStringLiteral("busy"));
            else
                reply = message.createReply();
        } else {
            return false;
        }
        connection.send(reply);
        return true;
    }
    std::mutex mutex;
    int refusals = 0;
    bool silent = false;
    std::map<std::string, int> unmountCalls; // guarded by mutex
};

} // namespace

TEST_F(DiscoveryUmockdev, UnmountRetriesRefusals)
{
    QuadrelUmockdevBed::Options withDisk;
    withDisk.withDisk = true;
    Camera &camera = plug(1, withDisk);
    const std::string disk = camera.bed->diskNames()[0];
    const std::string partition = camera.bed->diskNames()[1];

    QProcess daemon;
    daemon.start(QStringLiteral("dbus-daemon"),
                 {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address=1")});
    ASSERT_TRUE(daemon.waitForStarted(5000));
    ASSERT_TRUE(daemon.waitForReadyRead(5000));
    const QString address = QString::fromUtf8(daemon.readLine()).trimmed();
    QDBusConnection service = QDBusConnection::connectToBus(address, QStringLiteral("fake-udisks"));
    ASSERT_TRUE(service.isConnected());
    ASSERT_TRUE(service.registerService(QStringLiteral("org.freedesktop.UDisks2")));
    FakeUDisks fake;
    ASSERT_TRUE(service.registerVirtualObject(QStringLiteral("/org/freedesktop/UDisks2/block_devices"), &fake,
                                              QDBusConnection::SubPath));

    // Refusals are asked again up to ten times; a service that does not
    // answer is not waited for again.
    const struct {
        int refusals;
        bool silent;
        int calls;
    } cases[] = {{0, false, 1}, {3, false, 4}, {50, false, 11}, {0, true, 1}};
    for (const auto &c : cases) {
        {
            std::lock_guard lock(fake.mutex);
            fake.refusals = c.refusals;
            fake.silent = c.silent;
            fake.unmountCalls.clear();
        }
        log.clear();
        // The service answers on this thread: unmount from another one.
        auto done = std::async(std::launch::async, [&] { UDisksUnmounter(address).unmountCameraDisk(); });
        ASSERT_TRUE(pumpUntil([&] { return done.wait_for(0ms) == std::future_status::ready; }, 20s));
        EXPECT_TRUE(log.contains("******************* Disk exists. *******************\n"));
        std::lock_guard lock(fake.mutex);
        EXPECT_EQ(fake.unmountCalls[partition], c.calls) << c.refusals;
        EXPECT_EQ(fake.unmountCalls[disk], 1) << "no filesystem: not retried";
    }
    service.unregisterObject(QStringLiteral("/org/freedesktop/UDisks2/block_devices"), QDBusConnection::UnregisterTree);
    QDBusConnection::disconnectFromBus(QStringLiteral("fake-udisks"));
    daemon.kill();
    daemon.waitForFinished(2000);
}

TEST_F(DiscoveryUmockdev, ProbePrintsTheIdentity)
{
    plug(1);
    QTemporaryDir dir;
    ProbeOptions options;
    options.udevRulePath = dir.filePath(QStringLiteral("70-kelvo-quadrel.rules"));
    {
        QFile rule(options.udevRulePath);
        ASSERT_TRUE(rule.open(QIODevice::WriteOnly));
    }
    // The probe runs its own link.
    link.reset();
    QString text;
    QTextStream out(&text);
    EXPECT_EQ(runProbe(out, options), 0);
    const auto identity = identityNumbered(1);
    EXPECT_TRUE(text.contains(QStringLiteral("Mode: camera\n"))) << text.toStdString();
    EXPECT_TRUE(text.contains(
        QStringLiteral("Device serial number: %1\n").arg(QString::fromStdString(identity.deviceSerialNumber))));
    EXPECT_TRUE(text.contains(
        QStringLiteral("Board serial number: %1\n").arg(QString::fromStdString(identity.boardSerialNumber))));
    EXPECT_TRUE(text.contains(
        QStringLiteral("Firmware version: %1\n").arg(QString::fromStdString(identity.deviceFirmwareVersion))));
    EXPECT_TRUE(text.contains(
        QStringLiteral("Boot firmware version: %1\n").arg(QString::fromStdString(identity.bootFirmwareVersion))));
    EXPECT_FALSE(text.contains(QStringLiteral("Access problem"))) << text.toStdString();
}

TEST_F(DiscoveryUmockdev, ProbeWithoutCamera)
{
    link.reset();
    ProbeOptions options;
    options.udevRulePath = QStringLiteral("/nonexistent/70-kelvo-quadrel.rules");
    QString text;
    QTextStream out(&text);
    EXPECT_EQ(runProbe(out, options), 1);
    EXPECT_TRUE(text.contains(QStringLiteral("No Quadrel camera found.\n"))) << text.toStdString();
    EXPECT_TRUE(text.contains(
        QStringLiteral("Access problem: the udev rule /nonexistent/70-kelvo-quadrel.rules is missing.\n")));
}

TEST_F(DiscoveryUmockdev, ProbeFindsTheFirmwareUpdateMode)
{
    QuadrelUmockdevBed::Options dfu;
    dfu.firmwareUpdateMode = true;
    Camera &camera = plug(1, dfu);
    link.reset();
    QTemporaryDir dir;
    ProbeOptions options;
    options.udevRulePath = dir.path(); // present
    QString text;
    QTextStream out(&text);
    EXPECT_EQ(runProbe(out, options), 1) << "no camera answered";
    EXPECT_TRUE(text.contains(QStringLiteral("Found Quadrel at USB %1 in firmware update mode.\n")
                                  .arg(QString::fromStdString(camera.bed->usbNode()))))
        << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("Mode: firmware update\n")));
}
