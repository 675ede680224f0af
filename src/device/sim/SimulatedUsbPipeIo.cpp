#include "device/sim/SimulatedUsbPipeIo.h"

#include <algorithm>
#include <cstring>

namespace kelvo::device::sim {

SimulatedUsbPipeIo::SimulatedUsbPipeIo(std::shared_ptr<QuadrelSimulator> camera, std::uint32_t locationID)
    : m_camera(std::move(camera)), m_locationID(locationID), m_input(std::make_shared<SimulatedInput>())
{
    m_camera->setReportSink([input = m_input](const Report &report) { input->push(report); });
}

SimulatedUsbPipeIo::~SimulatedUsbPipeIo()
{
    close();
}

TransferStatus SimulatedUsbPipeIo::readPipe(std::uint8_t pipe, std::uint8_t *buffer, std::uint32_t capacity,
                                            std::uint32_t &transferred, int timeoutMs)
{
    transferred = 0;
    if (m_closed.load())
        return TransferStatus::NotOpen;
    if (pipe != 1)
        return TransferStatus::Error;
    SimulatedInput::Entry entry;
    if (!m_input->pop(entry, std::chrono::milliseconds(timeoutMs))) {
        if (!m_unplugged.load())
            return TransferStatus::Timeout;
        return m_emptyReadsWhenGone.load() ? TransferStatus::Success : TransferStatus::NoDevice;
    }
    transferred = std::min(entry.bytes, capacity);
    std::memcpy(buffer, entry.report.data(), transferred);
    return entry.status;
}

TransferStatus SimulatedUsbPipeIo::writePipeAsync(std::uint8_t pipe, const std::uint8_t *data, std::uint32_t size,
                                                  WriteCallback callback)
{
    if (m_closed.load())
        return TransferStatus::NotOpen;
    if (pipe != 2)
        return TransferStatus::Error;
    if (m_unplugged.load())
        return TransferStatus::NoDevice;
    PendingWrite write;
    write.report.fill(0);
    std::memcpy(write.report.data(), data, std::min<std::uint32_t>(size, kReportSize));
    write.callback = std::move(callback);
    {
        std::lock_guard lock(m_mutex);
        if (m_writeStartFailures > 0) {
            --m_writeStartFailures;
            return m_writeStartFailure;
        }
        m_writesStarted.fetch_add(1);
        if (m_holdWrites) {
            m_heldWrites.push_back(std::move(write));
            return TransferStatus::Success;
        }
    }
    complete(std::move(write));
    return TransferStatus::Success;
}

void SimulatedUsbPipeIo::complete(PendingWrite write)
{
    m_events.async([this, write = std::move(write)] {
        TransferStatus status = TransferStatus::Success;
        {
            std::lock_guard lock(m_mutex);
            if (!m_writeCompletions.empty()) {
                status = m_writeCompletions.front();
                m_writeCompletions.pop_front();
            } else if (m_unplugged.load()) {
                status = TransferStatus::NoDevice;
            } else if (m_closed.load()) {
                status = TransferStatus::Aborted;
            }
        }
        if (status == TransferStatus::Success)
            m_camera->receiveHostReport(write.report);
        write.callback(status, status == TransferStatus::Success ? static_cast<std::uint32_t>(kReportSize) : 0);
    });
}

TransferStatus SimulatedUsbPipeIo::clearPipeStallBothEnds(std::uint8_t pipe)
{
    if (m_closed.load())
        return TransferStatus::NotOpen;
    std::lock_guard lock(m_mutex);
    m_clearStalls[pipe & 15] += 1;
    return m_unplugged.load() ? TransferStatus::NoDevice : TransferStatus::Success;
}

void SimulatedUsbPipeIo::close()
{
    if (m_closed.exchange(true))
        return;
    m_input->close();
    std::vector<PendingWrite> held;
    {
        std::lock_guard lock(m_mutex);
        held.swap(m_heldWrites);
    }
    for (PendingWrite &write : held)
        complete(std::move(write));
    // Every completion has run when close returns.
    m_events.sync([] {});
}

void SimulatedUsbPipeIo::injectReadResult(TransferStatus status, std::uint32_t bytes)
{
    SimulatedInput::Entry entry;
    entry.status = status;
    entry.bytes = bytes;
    m_input->push(entry);
}

void SimulatedUsbPipeIo::injectWriteCompletion(TransferStatus status)
{
    std::lock_guard lock(m_mutex);
    m_writeCompletions.push_back(status);
}

void SimulatedUsbPipeIo::failWriteStarts(TransferStatus status, int count)
{
    std::lock_guard lock(m_mutex);
    m_writeStartFailure = status;
    m_writeStartFailures = count;
}

void SimulatedUsbPipeIo::holdWrites(bool hold)
{
    std::vector<PendingWrite> released;
    {
        std::lock_guard lock(m_mutex);
        m_holdWrites = hold;
        if (!hold)
            released.swap(m_heldWrites);
    }
    for (PendingWrite &write : released)
        complete(std::move(write));
}

void SimulatedUsbPipeIo::unplug(bool answerEmptyReads)
{
    m_emptyReadsWhenGone.store(answerEmptyReads);
    m_unplugged.store(true);
    m_input->interrupt();
}

int SimulatedUsbPipeIo::clearStallCount(std::uint8_t pipe) const
{
    std::lock_guard lock(m_mutex);
    return m_clearStalls[pipe & 15];
}

} // namespace kelvo::device::sim
