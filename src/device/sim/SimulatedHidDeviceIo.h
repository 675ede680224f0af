#pragma once

#include <atomic>
#include <memory>
#include <mutex>

#include "device/HidDeviceIo.h"
#include "device/sim/QuadrelSimulator.h"
#include "device/sim/SimulatedInput.h"

namespace kelvo::device::sim {

// The simulated camera as an HID device, in process: output reports (report
// ID 0, 64 bytes) reach the simulator, its reports come back as input
// reports. Faults can be injected: refused output reports and unplugging.
// Thread: any.
class SimulatedHidDeviceIo final : public HidDeviceIo {
public:
    static constexpr std::uint32_t kDefaultLocationID = 0x01200000;

    explicit SimulatedHidDeviceIo(std::shared_ptr<QuadrelSimulator> camera,
                                  std::uint32_t locationID = kDefaultLocationID);
    ~SimulatedHidDeviceIo() override;

    std::uint32_t locationID() const override { return m_locationID; }
    TransferStatus setOutputReport(std::uint8_t reportID, const std::uint8_t *data, std::size_t length) override;
    TransferStatus readInputReport(std::uint8_t *buffer, std::size_t capacity, std::size_t &length,
                                   int timeoutMs) override;
    void close() override;

    // The next output reports fail with this status.
    void failOutputReports(TransferStatus status, int count);
    void unplug();
    bool isClosed() const { return m_closed.load(); }

private:
    const std::shared_ptr<QuadrelSimulator> m_camera;
    const std::uint32_t m_locationID;
    const std::shared_ptr<SimulatedInput> m_input;
    std::atomic<bool> m_unplugged{false};
    std::atomic<bool> m_closed{false};
    std::mutex m_mutex;
    TransferStatus m_failure = TransferStatus::Success; // guarded by m_mutex
    int m_failures = 0;                                 // guarded by m_mutex
};

} // namespace kelvo::device::sim
