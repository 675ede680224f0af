#pragma once

#include <atomic>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

#include "common/SerialQueue.h"
#include "device/UsbPipeIo.h"
#include "device/sim/QuadrelSimulator.h"
#include "device/sim/SimulatedInput.h"

namespace kelvo::device::sim {

// The simulated camera's vendor interface, in process: writes on pipe 2 reach
// the simulator, its reports are read from pipe 1. Write completions arrive
// on a thread of the transport, as with a real USB stack. Faults can be
// injected: forced read results, write completions, held writes and
// unplugging.
// Thread: any.
class SimulatedUsbPipeIo final : public UsbPipeIo {
public:
    static constexpr std::uint32_t kDefaultLocationID = 0x01100000;

    explicit SimulatedUsbPipeIo(std::shared_ptr<QuadrelSimulator> camera,
                                std::uint32_t locationID = kDefaultLocationID);
    ~SimulatedUsbPipeIo() override;

    std::uint32_t locationID() const override { return m_locationID; }
    TransferStatus readPipe(std::uint8_t pipe, std::uint8_t *buffer, std::uint32_t capacity, std::uint32_t &transferred,
                            int timeoutMs) override;
    TransferStatus writePipeAsync(std::uint8_t pipe, const std::uint8_t *data, std::uint32_t size,
                                  WriteCallback callback) override;
    TransferStatus clearPipeStallBothEnds(std::uint8_t pipe) override;
    bool isConnected() const override { return !m_unplugged.load(); }
    void close() override;

    // ---- Fault injection and observation ----------------------------------
    // A read completes with this result, in turn with the camera's reports.
    void injectReadResult(TransferStatus status, std::uint32_t bytes);
    // The next write completions report these statuses, in order.
    void injectWriteCompletion(TransferStatus status);
    // The next write starts fail with this status.
    void failWriteStarts(TransferStatus status, int count);
    // While held, started writes wait; releasing completes them.
    void holdWrites(bool hold);
    // The device leaves the bus: reads and writes fail with TransferStatus::NoDevice,
    // or, with answerEmptyReads, reads keep completing with zero bytes, as a
    // vanished device can.
    void unplug(bool answerEmptyReads = false);
    int clearStallCount(std::uint8_t pipe) const;
    int writesStarted() const { return m_writesStarted.load(); }
    bool isClosed() const { return m_closed.load(); }

private:
    struct PendingWrite {
        Report report;
        WriteCallback callback;
    };
    void complete(PendingWrite write);

    const std::shared_ptr<QuadrelSimulator> m_camera;
    const std::uint32_t m_locationID;
    const std::shared_ptr<SimulatedInput> m_input;
    std::atomic<bool> m_unplugged{false};
    std::atomic<bool> m_emptyReadsWhenGone{false};
    std::atomic<bool> m_closed{false};
    std::atomic<int> m_writesStarted{0};
    mutable std::mutex m_mutex;
    std::deque<TransferStatus> m_writeCompletions;                // guarded by m_mutex
    TransferStatus m_writeStartFailure = TransferStatus::Success; // guarded by m_mutex
    int m_writeStartFailures = 0;                                 // guarded by m_mutex
    bool m_holdWrites = false;                                    // guarded by m_mutex
    std::vector<PendingWrite> m_heldWrites;                       // guarded by m_mutex
    int m_clearStalls[16] = {};                                   // guarded by m_mutex
    SerialQueue m_events{"sim-usb-events"};
};

} // namespace kelvo::device::sim
