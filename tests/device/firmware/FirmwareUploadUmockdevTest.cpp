// The firmware upload through libusb to the emulated camera in its update
// mode: the bytes and requests on the control pipe, the camera's faults, and
// the guided procedure driven by the real watchers.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <future>
#include <mutex>

#include "DeviceTestSupport.h"
#include "QuadrelUmockdevBed.h"
#include "common/SystemLog.h"
#include "device/DeviceDiscovery.h"
#include "device/DeviceLink.h"
#include "device/FirmwareInstaller.h"
#include "device/FirmwareUpload.h"
#include "device/VendorUsbInterface.h"
#include "device/backend/LinuxDeviceDiscovery.h"
#include "device/backend/LinuxUsbBus.h"
#include "update/Sha512Checksum.h"

using namespace kelvo::device;
using namespace std::chrono_literals;
using kelvo::device::test::pumpUntil;
using kelvo::device::umock::QuadrelUmockdevBed;
using Bed = QuadrelUmockdevBed;

namespace {

QByteArray imageOfSize(int size)
{
    QByteArray image(size, '\0');
    for (int i = 0; i < size; ++i)
        image[i] = static_cast<char>((i * 7 + i / 256) & 0xFF);
    return image;
}

std::vector<Bed::ControlRecord> expectedRequests(int size)
{
    const Bed::ControlRecord status{0xC0, 3, 0, 0, 6};
    std::vector<Bed::ControlRecord> requests{status, {0x40, 0, 1, 0, 0}, status};
    for (int offset = 0; offset < size; offset += 1024) {
        requests.push_back({0x40, 1, 1, 0, static_cast<std::uint16_t>(std::min(1024, size - offset))});
        requests.push_back(status);
    }
    for (int chunk = 0; chunk < 2; ++chunk) {
        requests.push_back({0x40, 1, 1, 0, 0});
        requests.push_back(status);
    }
    return requests;
}

std::string describe(const std::vector<Bed::ControlRecord> &requests)
{
    std::string text;
    for (const auto &r : requests)
        text += std::to_string(r.requestType) + "/" + std::to_string(r.request) + "/" + std::to_string(r.value) + "/" +
                std::to_string(r.index) + "/" + std::to_string(r.length) + " ";
    return text;
}

// What the exchange reported, gathered from the upload thread.
struct Outcome {
    std::mutex mutex;
    std::vector<std::int32_t> states;
    std::vector<double> progress;
};

struct FirmwareUploadUmockdev : ::testing::Test {
    void SetUp() override
    {
        if (!Bed::inMockEnvironment())
            GTEST_SKIP() << "needs umockdev-wrapper";
        ASSERT_TRUE(dir.isValid());
        keeper = std::make_unique<Bed>(std::make_shared<sim::QuadrelSimulator>(), Bed::Options{9, false, false});
        link = std::make_unique<DeviceLink>();
        link->setViewerActions(&viewer);
        link->createSendQueue();
        link->startHIDInitialization();
    }

    void TearDown() override
    {
        installer.reset();
        platform.reset();
        if (link) {
            link->setViewerActions(nullptr);
            link.reset();
        }
        beds.clear();
        keeper.reset();
    }

    Bed &plug(int port, bool updateMode, Bed::FirmwareBehaviour behaviour = {})
    {
        Bed::Options options;
        options.port = port;
        options.firmwareUpdateMode = updateMode;
        beds.push_back(std::make_unique<Bed>(std::make_shared<sim::QuadrelSimulator>(), options, behaviour));
        std::string error;
        EXPECT_TRUE(beds.back()->plugIn(&error)) << error;
        return *beds.back();
    }

    // The opened vendor interface of the camera in update mode at a port.
    std::shared_ptr<VendorUsbInterface> open(const Bed &bed)
    {
        for (const UsbCandidate &device : bus.enumerateUsb(kQuadrelVendorID, kQuadrelFirmwareUpdateProductID)) {
            if (device.locationID != bed.locationID())
                continue;
            TransferStatus status = TransferStatus::Error;
            auto session = bus.createSession(device, &status);
            if (!session)
                return nullptr;
            auto io = session->openInterface({0xFF, -1, 0xFF}, &status);
            if (!io)
                return nullptr;
            return link->makeVendorInterface(std::move(io), 0, 0);
        }
        return nullptr;
    }

    // A source for the stored image; version or path may be left out.
    FirmwareUploadSource source(const QByteArray &image, std::optional<QString> version = QStringLiteral("3.1.0"),
                                bool withPath = true, const std::optional<QString> &checksum = std::nullopt)
    {
        const QString path = dir.filePath(QStringLiteral("firmware-%1.bin").arg(++files));
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(image);
        file.close();
        const QString expected = checksum.value_or(kelvo::update::sha512ChecksumText(image));
        FirmwareUploadSource s;
        s.versionReadyToInstall = [version] { return version; };
        s.imagePath = [path, withPath](const QString &) {
            return withPath ? std::optional<QString>(path) : std::nullopt;
        };
        s.verifyChecksum = [expected](QByteArrayView data) {
            return kelvo::update::verifySHA512ChecksumForData(expected, data);
        };
        s.setProgress = [this](double percent) {
            std::lock_guard lock(outcome.mutex);
            outcome.progress.push_back(percent);
        };
        s.setState = [this](std::int32_t state) {
            std::lock_guard lock(outcome.mutex);
            outcome.states.push_back(state);
        };
        return s;
    }

    // Runs the exchange on a thread of its own; false when it did not end.
    bool runExchange(const std::shared_ptr<VendorUsbInterface> &interface, const FirmwareUploadSource &s)
    {
        outcome.states.clear();
        outcome.progress.clear();
        auto done = std::async(std::launch::async, [&] {
            performFirmwareUpdate(
                [interface](std::uint8_t t, std::uint8_t r, std::uint16_t v, std::uint16_t i, std::uint8_t *d,
                            std::uint16_t l,
                            std::uint32_t &n) { return interface->controlRequest(t, r, v, i, d, l, n); },
                s);
        });
        return done.wait_for(20s) == std::future_status::ready;
    }

    bool logged(const std::string &line) const
    {
        for (const auto &entry : log.lines())
            if (entry == line)
                return true;
        return false;
    }

    // The guided procedure with the real watchers; pages are recorded.
    void useInstaller(const QByteArray &image)
    {
        LinuxDeviceDiscovery::Options options;
        options.udisksBusAddress = QStringLiteral("unix:path=/nonexistent/kelvo-test-bus");
        options.attachServerName = QStringLiteral("kelvo-firmware-test-%1").arg(QCoreApplication::applicationPid());
        platform = std::make_unique<LinuxDeviceDiscovery>(*link, options);
        ASSERT_TRUE(platform->isWatchingBus());
        FirmwareInstaller::Hooks hooks;
        hooks.postToMain = [](std::function<void()> task) {
            QMetaObject::invokeMethod(qApp, std::move(task), Qt::QueuedConnection);
        };
        hooks.showPage = [this](const QString &page) {
            EXPECT_EQ(QThread::currentThread(), qApp->thread());
            pages.push_back(page);
        };
        hooks.finished = [this] { pages.push_back(QStringLiteral("closed")); };
        hooks.quit = [this] { pages.push_back(QStringLiteral("quit")); };
        hooks.startWatcher = [this](bool postUpdate) { platform->startFirmwareUpdateScanner(postUpdate); };
        installer = std::make_unique<FirmwareInstaller>(*link, hooks, source(image));
        DeviceDiscovery &discovery = platform->discovery();
        discovery.setFirmwareUploadStateSetter([this](std::int32_t s) { installer->setFirmwareUploadState(s); });
        discovery.setFirmwareUploadHandler(
            [this](std::shared_ptr<VendorUsbInterface> interface) { installer->upload(interface); });
    }

    bool pagesBecome(const QStringList &expected)
    {
        return pumpUntil([&] { return pages == expected; }, 10s);
    }

    kelvo::ScopedLogCapture log;
    QTemporaryDir dir;
    int files = 0;
    Outcome outcome;
    std::unique_ptr<Bed> keeper;
    std::vector<std::unique_ptr<Bed>> beds;
    test::RecordingViewer viewer;
    LinuxUsbBus bus;
    std::unique_ptr<DeviceLink> link;
    std::unique_ptr<LinuxDeviceDiscovery> platform;
    std::unique_ptr<FirmwareInstaller> installer;
    QStringList pages;
};

} // namespace

TEST_F(FirmwareUploadUmockdev, ImagesArriveByteExact)
{
    const struct {
        int size;
        std::vector<double> progress;
    } cases[] = {{3000, {0.0, 0.0, 1024 * 100.0 / 3000, 2048 * 100.0 / 3000}},
                 {1024, {0.0, 0.0}},
                 {1025, {0.0, 0.0, 1024 * 100.0 / 1025}}};
    int port = 1;
    for (const auto &c : cases) {
        Bed &bed = plug(port++, true);
        const auto interface = open(bed);
        ASSERT_TRUE(interface) << c.size;
        const QByteArray image = imageOfSize(c.size);
        ASSERT_TRUE(runExchange(interface, source(image)));
        const auto received = bed.receivedImage();
        EXPECT_EQ(QByteArray(reinterpret_cast<const char *>(received.data()), static_cast<int>(received.size())), image)
            << c.size;
        EXPECT_EQ(describe(bed.controlRequests()), describe(expectedRequests(c.size))) << c.size;
        EXPECT_EQ(outcome.states, (std::vector<std::int32_t>{kUploadInProgress, kUploadDone})) << c.size;
        ASSERT_EQ(outcome.progress.size(), c.progress.size()) << c.size;
        for (std::size_t i = 0; i < c.progress.size(); ++i)
            EXPECT_DOUBLE_EQ(outcome.progress[i], c.progress[i]) << c.size << " #" << i;
        interface->close();
    }
    EXPECT_TRUE(logged("Sending data at 2048\n"));
    EXPECT_TRUE(logged("Request length: 952\n")) << "the last block of 3000 bytes";
    EXPECT_TRUE(logged("Done sending data.\n"));
}

TEST_F(FirmwareUploadUmockdev, RefusedBeforeTheCameraIsAsked)
{
    Bed &bed = plug(1, true);
    const auto interface = open(bed);
    ASSERT_TRUE(interface);
    const QByteArray image = imageOfSize(3000);
    const struct {
        FirmwareUploadSource source;
        const char *line;
    } cases[] = {
        {source(image, std::nullopt), "No firmware ready to install.\n"},
        {source(image, QStringLiteral("3.1.0"), false), "Could not construct file URL for firmware data file.\n"},
        {source(QByteArray()), "Could not read firmware data file\n"},
        {source(image, QStringLiteral("3.1.0"), true, kelvo::update::sha512ChecksumText(imageOfSize(2999))),
         "Firmware data checksum bad.\n"},
    };
    for (const auto &c : cases) {
        log.clear();
        ASSERT_TRUE(runExchange(interface, c.source));
        EXPECT_TRUE(logged(c.line)) << c.line;
        EXPECT_EQ(outcome.states, std::vector<std::int32_t>{kUploadFailed}) << c.line;
    }
    EXPECT_TRUE(bed.controlRequests().empty()) << describe(bed.controlRequests());
}

TEST_F(FirmwareUploadUmockdev, CameraFaults)
{
    const struct {
        Bed::FirmwareBehaviour behaviour;
        const char *line;
        std::size_t bytesKept;
        bool inProgress;
    } cases[] = {
        {{-1, 0, -1, {}}, "Firmware update failed (device not ready [1]).\n", 0, false},
        {{-1, 1, -1, {}}, "Firmware update failed (device not ready [2]).\n", 0, false},
        // Reads 0 and 1 come before the blocks; read 3 follows block 1.
        {{-1, 3, -1, {}}, "Got unexpected response from device when sending location 1024\n", 2048, true},
        {{2, -1, -1, {}}, "Could not send data at location 2048\n", 2048, true},
        {{-1, -1, 1, {}}, "Could not send data at location 1024\n", 1024, true},
        // Reads 2 to 4 follow the three blocks; read 5 the first end chunk.
        {{-1, 5, -1, {}}, "Got unexpected response from device after zero-length end chunk #0.\n", 3000, true},
    };
    int port = 1;
    for (const auto &c : cases) {
        log.clear();
        Bed &bed = plug(port++, true, c.behaviour);
        const auto interface = open(bed);
        ASSERT_TRUE(interface) << c.line;
        ASSERT_TRUE(runExchange(interface, source(imageOfSize(3000)))) << "hung: " << c.line;
        EXPECT_TRUE(logged(c.line)) << c.line << " in:\n" << testing::PrintToString(log.lines());
        EXPECT_FALSE(logged("Done sending data.\n")) << c.line;
        const std::vector<std::int32_t> states = c.inProgress
                                                     ? std::vector<std::int32_t>{kUploadInProgress, kUploadFailed}
                                                     : std::vector<std::int32_t>{kUploadFailed};
        EXPECT_EQ(outcome.states, states) << c.line;
        EXPECT_EQ(bed.receivedImage().size(), c.bytesKept) << c.line;
        interface->close();
    }
}

TEST_F(FirmwareUploadUmockdev, FullFlow)
{
    const QByteArray image = imageOfSize(3000);
    Bed::FirmwareBehaviour behaviour;
    behaviour.firmwareAfterUpdate = "3.1.0";
    useInstaller(image);
    installer->begin();
    ASSERT_TRUE(pagesBecome({"WaitingForDFU"}));
    Bed &bed = plug(1, true, behaviour);
    ASSERT_TRUE(pagesBecome({"WaitingForDFU", "InProgress", "WaitingForReboot", "closed"}))
        << pages.join(',').toStdString();
    EXPECT_TRUE(pumpUntil([&] { return bed.restartedInCameraMode(); }, 5s));
    EXPECT_EQ(installer->firmwareUploadState(), kDeviceReappeared);
    const auto received = bed.receivedImage();
    EXPECT_EQ(QByteArray(reinterpret_cast<const char *>(received.data()), static_cast<int>(received.size())), image);
    EXPECT_DOUBLE_EQ(installer->firmwareUpdateProgress(), 2048 * 100.0 / 3000);
    EXPECT_TRUE(link->usbInterfaces().empty()) << "the upload let go of the camera";
    EXPECT_TRUE(logged("Changing to waiting for DFU view.\n"));
    EXPECT_TRUE(logged("Changing to upload done view.\n"));
    EXPECT_TRUE(logged("Device reappeared.\n"));
}

TEST_F(FirmwareUploadUmockdev, FailureThenCancel)
{
    useInstaller(imageOfSize(3000));
    installer->begin();
    Bed &failing = plug(1, true, {-1, 3, -1, {}});
    ASSERT_TRUE(pagesBecome({"WaitingForDFU", "InProgress", "UploadFailed"})) << pages.join(',').toStdString();
    // Back in update mode while the failure is shown: no second upload.
    failing.unplug();
    plug(2, true);
    pumpUntil([] { return false; }, 500ms);
    EXPECT_EQ(pages.size(), 3) << pages.join(',').toStdString();
    installer->cancelFirmwareInstall();
    ASSERT_TRUE(pagesBecome({"WaitingForDFU", "InProgress", "UploadFailed", "PressReset"}));
    beds.back()->unplug();
    plug(3, false);
    ASSERT_TRUE(pagesBecome({"WaitingForDFU", "InProgress", "UploadFailed", "PressReset", "closed"}))
        << pages.join(',').toStdString();
}

TEST_F(FirmwareUploadUmockdev, FailureThenRetry)
{
    const QByteArray image = imageOfSize(3000);
    useInstaller(image);
    installer->begin();
    Bed &failing = plug(1, true, {-1, 3, -1, {}});
    ASSERT_TRUE(pagesBecome({"WaitingForDFU", "InProgress", "UploadFailed"})) << pages.join(',').toStdString();
    installer->retryFirmwareInstall();
    ASSERT_TRUE(pagesBecome({"WaitingForDFU", "InProgress", "UploadFailed", "PressReset"}));
    // The user resets the camera: it comes back in camera mode, and the page
    // asks for the update mode again.
    failing.unplug();
    Bed &camera = plug(2, false);
    ASSERT_TRUE(pagesBecome({"WaitingForDFU", "InProgress", "UploadFailed", "PressReset", "WaitingForDFU"}))
        << pages.join(',').toStdString();
    camera.unplug();
    Bed::FirmwareBehaviour behaviour;
    behaviour.firmwareAfterUpdate = "3.1.0";
    Bed &second = plug(3, true, behaviour);
    ASSERT_TRUE(pagesBecome({"WaitingForDFU", "InProgress", "UploadFailed", "PressReset", "WaitingForDFU", "InProgress",
                             "WaitingForReboot", "closed"}))
        << pages.join(',').toStdString();
    EXPECT_TRUE(pumpUntil([&] { return second.restartedInCameraMode(); }, 5s));
    const auto received = second.receivedImage();
    EXPECT_EQ(QByteArray(reinterpret_cast<const char *>(received.data()), static_cast<int>(received.size())), image);
}
