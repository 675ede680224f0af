#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "device/UsbBus.h"
#include "device/UsbPipeIo.h"
#include "device/backend/LibusbHandles.h"

namespace kelvo::device {

// One libusb context with the thread that delivers asynchronous transfer
// completions. The thread runs only while a device is open.
// Thread: any.
class LibusbContext {
public:
    // The process-wide context; null when libusb cannot be initialised.
    static std::shared_ptr<LibusbContext> shared();
    ~LibusbContext();
    LibusbContext(const LibusbContext &) = delete;
    LibusbContext &operator=(const LibusbContext &) = delete;

    libusb_context *context() const { return m_context.get(); }
    // The device at this bus and address; null when it is not on the bus.
    LibusbDevicePtr findDevice(std::uint8_t bus, std::uint8_t address) const;
    bool isEventThread() const { return std::this_thread::get_id() == m_eventThreadId.load(); }

    // Counts an opened device; the event thread runs while any is open.
    void retain();
    void release();

private:
    explicit LibusbContext(LibusbContextPtr context);
    void runEvents();

    // Exits after the event thread has ended (members go in reverse order).
    const LibusbContextPtr m_context;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    int m_openDevices = 0;   // guarded by m_mutex
    bool m_stopping = false; // guarded by m_mutex
    std::atomic<std::thread::id> m_eventThreadId;
    std::thread m_eventThread;
};

// A vendor USB interface opened and claimed through libusb (a kernel driver
// holding it is detached while it is claimed, when the search allows it). Pipe n is the claimed interface's
// n-th endpoint; pipe 0 the default control pipe.
// Thread: readPipe() on one reader thread; writes from any thread; write
// completions on the context's event thread.
class LibusbTransport final : public UsbPipeIo {
public:
    // Lists the devices with this vendor and product on the bus.
    static std::vector<UsbCandidate> enumerate(std::uint16_t vendorID, std::uint16_t productID);

    // Opens the device at the address and claims the first matching
    // interface. Answers null and sets status (TransferStatus::NoDevice,
    // TransferStatus::ExclusiveAccess, TransferStatus::NotOpen, ...) on failure.
    static std::unique_ptr<LibusbTransport> open(const UsbCandidate &address, const InterfaceSearch &match,
                                                 TransferStatus *status = nullptr);

    ~LibusbTransport() override;

    std::uint32_t locationID() const override { return m_locationID; }
    int interfaceNumber() const;
    // Endpoint addresses of the claimed interface, pipe 1 first.
    const std::vector<std::uint8_t> &endpoints() const { return m_endpoints; }

    TransferStatus readPipe(std::uint8_t pipe, std::uint8_t *buffer, std::uint32_t capacity, std::uint32_t &transferred,
                            int timeoutMs) override;
    TransferStatus writePipeAsync(std::uint8_t pipe, const std::uint8_t *data, std::uint32_t size,
                                  WriteCallback callback) override;
    TransferStatus clearPipeStallBothEnds(std::uint8_t pipe) override;
    TransferStatus controlRequest(std::uint8_t requestType, std::uint8_t request, std::uint16_t value,
                                  std::uint16_t index, std::uint8_t *data, std::uint16_t length,
                                  std::uint32_t &transferred) override;
    bool isConnected() const override;
    void close() override;

    // Maps a libusb error code onto the device link's statuses.
    static TransferStatus statusFromLibusbError(int error);

private:
    struct State;
    struct PendingWrite;
    LibusbTransport(std::shared_ptr<State> state, std::vector<std::uint8_t> endpoints,
                    std::vector<std::uint8_t> transferTypes, std::uint32_t locationID);
    static void writeFinished(libusb_transfer *transfer);
    static void finishClose(State &state);

    // Shared with the pending writes, so a completion that arrives after the
    // transport is destroyed still finds the handle and its lock.
    const std::shared_ptr<State> m_state;
    const std::vector<std::uint8_t> m_endpoints;
    const std::vector<std::uint8_t> m_transferTypes;
    const std::uint32_t m_locationID;
};

} // namespace kelvo::device
