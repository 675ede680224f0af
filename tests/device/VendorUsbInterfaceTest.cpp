#include <gtest/gtest.h>

#include "DeviceTestSupport.h"
#include "common/SystemLog.h"
#include "device/DeviceLink.h"
#include "device/sim/QuadrelSimulator.h"
#include "device/sim/SimulatedUsbPipeIo.h"

using namespace kelvo::device;
using namespace std::chrono_literals;
using kelvo::device::sim::QuadrelSimulator;
using kelvo::device::sim::SimulatedUsbPipeIo;
using kelvo::device::test::pumpUntil;
using kelvo::device::test::RecordingViewer;

namespace {

// Counts how often the link closes the transport.
class CountingIo : public UsbPipeIo {
public:
    explicit CountingIo(SimulatedUsbPipeIo *inner) : m_inner(inner) {}
    std::uint32_t locationID() const override { return m_inner->locationID(); }
    TransferStatus readPipe(std::uint8_t pipe, std::uint8_t *buffer, std::uint32_t capacity, std::uint32_t &transferred,
                            int timeoutMs) override
    {
        return m_inner->readPipe(pipe, buffer, capacity, transferred, timeoutMs);
    }
    TransferStatus writePipeAsync(std::uint8_t pipe, const std::uint8_t *data, std::uint32_t size,
                                  WriteCallback callback) override
    {
        return m_inner->writePipeAsync(pipe, data, size, std::move(callback));
    }
    TransferStatus clearPipeStallBothEnds(std::uint8_t pipe) override { return m_inner->clearPipeStallBothEnds(pipe); }
    bool isConnected() const override { return m_inner->isConnected(); }
    void close() override
    {
        closes->fetch_add(1);
        m_inner->close();
    }
    std::shared_ptr<std::atomic<int>> closes = std::make_shared<std::atomic<int>>(0);

private:
    std::unique_ptr<SimulatedUsbPipeIo> m_inner;
};

struct ReaderFixture : ::testing::Test {
    ReaderFixture()
    {
        link.setViewerActions(&viewer);
        link.createSendQueue();
        link.startHIDInitialization();
        io = new SimulatedUsbPipeIo(camera, 0x21000000);
        auto counting = std::make_unique<CountingIo>(io);
        closes = counting->closes;
        interface = link.attachVendorInterface(std::move(counting));
        link.waitForSendQueue();
        EXPECT_TRUE(pumpUntil([&] { return link.gotBootFirmwareVersion(); }));
        viewer.clear();
        log.clear();
    }

    // The reader is still running when a button report still gets through.
    bool readerStillDelivers()
    {
        viewer.clear();
        camera->sendCode(HIDReportRotateButton);
        return pumpUntil([&] { return viewer.calls() == std::vector<std::string>{"rotateWindowUIAction"}; });
    }

    bool removedOnce()
    {
        return pumpUntil([&] { return link.usbInterfaces().empty() && closes->load() == 1; }) &&
               link.hidListeners().empty() && !link.gotDeviceSerialNumber() && interface->isClosed();
    }

    kelvo::ScopedLogCapture log;
    std::shared_ptr<QuadrelSimulator> camera = std::make_shared<QuadrelSimulator>();
    RecordingViewer viewer;
    DeviceLink link;
    SimulatedUsbPipeIo *io = nullptr; // owned by the interface
    std::shared_ptr<std::atomic<int>> closes;
    std::shared_ptr<VendorUsbInterface> interface;
};

} // namespace

TEST_F(ReaderFixture, ZeroLengthReadIsLoggedAndTheNextReadFollows)
{
    io->injectReadResult(TransferStatus::Success, 0);
    EXPECT_TRUE(readerStillDelivers());
    EXPECT_EQ(log.count("Zero-length read\n"), 1);
    EXPECT_EQ(link.usbInterfaces().size(), 1u);
}

TEST_F(ReaderFixture, AbortedReadsAreToleratedAndOnlyNineAreLogged)
{
    for (int i = 0; i < 10; ++i)
        io->injectReadResult(TransferStatus::Aborted, 0);
    EXPECT_TRUE(readerStillDelivers());
    EXPECT_EQ(log.count("Read aborted\n"), 9);
    EXPECT_EQ(log.count("ReadPipe failed (-536870165, e00002eb).\n"), 10);
    EXPECT_EQ(interface->readRecord().errorCount, 0u); // reset by the good read
    EXPECT_EQ(closes->load(), 0);
}

TEST_F(ReaderFixture, StalledReadPipeIsClearedAndReadingGoesOn)
{
    const int before = io->clearStallCount(1);
    io->injectReadResult(TransferStatus::PipeStalled, 0);
    EXPECT_TRUE(readerStillDelivers());
    EXPECT_EQ(log.count("Read pipe stall\n"), 1);
    EXPECT_EQ(io->clearStallCount(1), before + 1);
}

TEST_F(ReaderFixture, AnyOtherReadErrorMeansTheDeviceWentAway)
{
    io->injectReadResult(TransferStatus::Error, 0);
    EXPECT_TRUE(removedOnce());
    EXPECT_EQ(log.count("Device went away.  Err -536870212, e00002bc.\n"), 1);
    EXPECT_FALSE(link.isListeningOnDevice(0x21000000));
    EXPECT_FALSE(link.sendRawHIDCommand(CommandBytes{0x96}));
}

TEST_F(ReaderFixture, DevicePulledOutDuringARead)
{
    io->unplug();
    EXPECT_TRUE(removedOnce());
    EXPECT_EQ(log.count("Device went away.  Err -536870208, e00002c0.\n"), 1);
    EXPECT_EQ(link.deviceSerialNumber(), "NOT DETECTED");
}

TEST_F(ReaderFixture, VanishedDeviceAnsweringEmptyReadsEndsTheReader)
{
    io->unplug(/*answerEmptyReads=*/true);
    EXPECT_TRUE(removedOnce());
    EXPECT_EQ(log.count("Zero-length read\n"), 1);
}

TEST_F(ReaderFixture, DevicePulledOutDuringAWriteIsRemovedOnceThoughBothPathsNoticeIt)
{
    io->holdWrites(true);
    EXPECT_TRUE(link.sendRawHIDCommand(CommandBytes{0xC4}));
    io->unplug();
    io->holdWrites(false);
    EXPECT_TRUE(removedOnce());
    // The failed write and the failed read both report it.
    EXPECT_TRUE(pumpUntil([&] { return log.count("Device went away.  Err -536870208, e00002c0.\n") == 2; }));
    // Nothing is left that a late completion could touch.
    link.waitForSendQueue();
    EXPECT_EQ(closes->load(), 1);
}

TEST_F(ReaderFixture, AbortedWritesAreReissuedUpToNineTimes)
{
    camera->clearReceivedReports();
    io->injectWriteCompletion(TransferStatus::Aborted);
    EXPECT_TRUE(link.sendRawHIDCommand(CommandBytes{0xC7}));
    ASSERT_TRUE(camera->waitForReceivedCount(1, 2s));
    EXPECT_EQ(camera->receivedReports().front().report[0], 0xC7);
    EXPECT_EQ(log.count("Write aborted\n"), 1);

    log.clear();
    camera->clearReceivedReports();
    const int startedBefore = io->writesStarted();
    for (int i = 0; i < 10; ++i)
        io->injectWriteCompletion(TransferStatus::Aborted);
    EXPECT_TRUE(link.sendRawHIDCommand(CommandBytes{0xC6}));
    EXPECT_TRUE(pumpUntil([&] { return io->writesStarted() == startedBefore + 10; }));
    kelvo::device::test::pumpFor(50ms);
    EXPECT_EQ(io->writesStarted(), startedBefore + 10); // the tenth abort is the last
    EXPECT_EQ(log.count("Write aborted\n"), 9);
    EXPECT_TRUE(camera->receivedReports().empty());
    EXPECT_EQ(link.usbInterfaces().size(), 1u);
}

TEST_F(ReaderFixture, StalledWritePipeIsCleared)
{
    io->injectWriteCompletion(TransferStatus::PipeStalled);
    EXPECT_TRUE(link.sendRawHIDCommand(CommandBytes{0xC5}));
    EXPECT_TRUE(pumpUntil([&] { return io->clearStallCount(2) == 1; }));
    EXPECT_EQ(log.count("Write pipe stall\n"), 1);
    EXPECT_EQ(link.usbInterfaces().size(), 1u);
}

TEST_F(ReaderFixture, RemovedListenerIsCancelledAndEnds)
{
    link.removeHIDListener(interface);
    EXPECT_TRUE(link.hidListeners().empty());
    EXPECT_TRUE(pumpUntil([&] { return log.contains("HID listener thread exiting (end of loop)"); }));
    interface->joinReader();
    // The interface itself stays open for writing until it is removed.
    EXPECT_TRUE(link.sendRawHIDCommand(CommandBytes{0xC8}));
}
