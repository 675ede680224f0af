#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "device/HidDeviceIo.h"
#include "device/ReportProtocol.h"

namespace kelvo::device {

// One opened HID device of the camera (an entry of HIDInterfaceArray): sends
// output reports with report ID 0 and, once started, reads input reports on
// a reader thread of its own (standing in for the input-report callback).
// A read that finds the device gone runs the deviceRemoved callback
// (HIDDeviceRemovedCallback) and ends the reader.
// Thread: created on the device-link queue; setOutputReport() from the send
// queue; callbacks on the reader thread.
class HidDevice : public std::enable_shared_from_this<HidDevice> {
public:
    struct Callbacks {
        // A copy of each input report; reader thread.
        std::function<void(const Report &)> inputReport;
        // The device is gone; reader thread, once.
        std::function<void(const std::shared_ptr<HidDevice> &)> deviceRemoved;
    };

    static constexpr int kReadPollMs = 100;

    static std::shared_ptr<HidDevice> create(std::unique_ptr<HidDeviceIo> io, Callbacks callbacks);
    ~HidDevice();
    HidDevice(const HidDevice &) = delete;
    HidDevice &operator=(const HidDevice &) = delete;

    std::uint32_t locationID() const { return m_locationID; }

    // Sends one 64-byte output report with report ID 0; TransferStatus::NotOpen
    // once terminated.
    TransferStatus setOutputReport(const Report &report);

    // Starts the input reader. Once only.
    void startReader();

    // terminateHIDDevice: stops the reader (waiting for it unless called
    // from it) and closes the device. Idempotent; never call it while
    // holding a lock that the callbacks take.
    void terminate();
    bool isTerminated() const { return m_terminated.load(); }

private:
    HidDevice(std::unique_ptr<HidDeviceIo> io, Callbacks callbacks);
    void runReader();

    const std::unique_ptr<HidDeviceIo> m_io;
    const Callbacks m_callbacks;
    const std::uint32_t m_locationID;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_terminated{false};
    std::mutex m_ioMutex;  // serialises close() against output reports
    bool m_closed = false; // guarded by m_ioMutex
    std::mutex m_threadMutex;
    std::thread m_reader; // guarded by m_threadMutex
};

} // namespace kelvo::device
