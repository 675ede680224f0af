#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "device/ReportProtocol.h"
#include "device/UsbPipeIo.h"

namespace kelvo::device {

class VendorUsbInterface;

// One transfer's bookkeeping (InterfaceRecord): the read record of an
// interface, or one per asynchronous write. Write records are shared with
// their transfer's completion, so a completion never sees a freed record.
struct InterfaceRecord {
    std::weak_ptr<VendorUsbInterface> interface;
    Report buffer{};
    std::uint32_t errorCount = 0; // consecutive failed transfers
    std::uint8_t readPipe = 1;
    std::uint8_t writePipe = 2;
};

// One opened vendor USB interface of the camera (an entry of
// USBInterfaceArray): sends reports as asynchronous 64-byte writes on its
// write pipe and, once started, reads its read pipe on a reader thread of its
// own (the listener). Aborted transfers are retried up to 9 in a row, stalled
// pipes are cleared on both ends, any other failure means the device went
// away: the deviceRemoved callback runs, and close() frees everything once.
// Thread: created on the device-link queue; writeReport() from the send
// queue; callbacks on the reader thread or the transport's completion thread.
class VendorUsbInterface : public std::enable_shared_from_this<VendorUsbInterface> {
public:
    struct Callbacks {
        // A copy of each report read (handleUSBData); reader thread.
        std::function<void(const Report &)> handleUSBData;
        // The device went away (a failed read or write); may run more than once.
        std::function<void(const std::shared_ptr<VendorUsbInterface> &)> deviceRemoved;
        // The reader left its loop by itself (removeHIDListener).
        std::function<void(const std::shared_ptr<VendorUsbInterface> &)> readerEnded;
    };

    // How long one read waits before the reader checks for cancellation.
    static constexpr int kReadPollMs = 100;

    static std::shared_ptr<VendorUsbInterface> create(std::unique_ptr<UsbPipeIo> io, Callbacks callbacks,
                                                      std::uint8_t readPipe = 1, std::uint8_t writePipe = 2);
    ~VendorUsbInterface();
    VendorUsbInterface(const VendorUsbInterface &) = delete;
    VendorUsbInterface &operator=(const VendorUsbInterface &) = delete;

    std::uint32_t locationID() const { return m_locationID; }
    std::uint8_t readPipe() const { return m_readPipe; }
    std::uint8_t writePipe() const { return m_writePipe; }

    // Starts an asynchronous write of one report on the write pipe with a new
    // write record. Answers the start status; TransferStatus::NotOpen once closed.
    TransferStatus writeReport(const Report &report);
    TransferStatus clearPipeStallBothEnds(std::uint8_t pipe);
    // A vendor control request on pipe 0 (the firmware upload's exchange);
    // TransferStatus::NotOpen once closed.
    TransferStatus controlRequest(std::uint8_t requestType, std::uint8_t request, std::uint16_t value,
                                  std::uint16_t index, std::uint8_t *data, std::uint16_t length,
                                  std::uint32_t &transferred);

    // Starts the reader thread (runHIDDeviceWithReadCompletionData). Once only.
    void startReader();
    // Asks the reader to end at its next cancellation check.
    void cancelReader();
    bool isReaderCancelled() const { return m_cancelled.load(); }
    // Waits for the reader thread to end (not from the reader itself).
    void joinReader();

    // Marks the interface as removed; answers true for the first caller
    // only, so removal handling that is reached twice runs once.
    bool markRemoved() { return !m_removed.exchange(true); }

    // Stops the reader (waiting for it unless called from it), aborts
    // pending writes and closes the device. Idempotent; never call it while
    // holding a lock that the reader or the callbacks take.
    void close();
    bool isClosed() const { return m_closing.load(); }

    // The read-completion rules (ReadCompletion): answers whether the reader
    // goes on. Public so the rules can be exercised without a reader thread.
    bool readCompletion(InterfaceRecord &record, TransferStatus status, std::uint32_t bytes);
    // The write-completion rules (WriteCompletion).
    void writeCompletion(const std::shared_ptr<InterfaceRecord> &record, TransferStatus status);

    // The read record (tests inspect its error count).
    const InterfaceRecord &readRecord() const { return m_readRecord; }

private:
    VendorUsbInterface(std::unique_ptr<UsbPipeIo> io, Callbacks callbacks, std::uint8_t readPipe,
                       std::uint8_t writePipe);
    TransferStatus startWrite(const std::shared_ptr<InterfaceRecord> &record);
    // Counts a write that has finished (successfully or not).
    void writeFinished();
    void runReader();
    void deviceWentAway(TransferStatus status);

    const std::unique_ptr<UsbPipeIo> m_io;
    const Callbacks m_callbacks;
    const std::uint8_t m_readPipe;
    const std::uint8_t m_writePipe;
    const std::uint32_t m_locationID;
    InterfaceRecord m_readRecord; // reader thread only
    std::atomic<bool> m_cancelled{false};
    std::atomic<bool> m_closing{false};
    std::atomic<bool> m_removed{false};
    std::mutex m_threadMutex;
    std::thread m_reader; // guarded by m_threadMutex
    std::mutex m_writesMutex;
    std::condition_variable m_writesDone;
    int m_writesInFlight = 0; // guarded by m_writesMutex
};

} // namespace kelvo::device
