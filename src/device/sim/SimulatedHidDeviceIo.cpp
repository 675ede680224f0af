#include "device/sim/SimulatedHidDeviceIo.h"

#include <algorithm>
#include <cstring>

namespace kelvo::device::sim {

SimulatedHidDeviceIo::SimulatedHidDeviceIo(std::shared_ptr<QuadrelSimulator> camera, std::uint32_t locationID)
    : m_camera(std::move(camera)), m_locationID(locationID), m_input(std::make_shared<SimulatedInput>())
{
    m_camera->setReportSink([input = m_input](const Report &report) { input->push(report); });
}

SimulatedHidDeviceIo::~SimulatedHidDeviceIo()
{
    close();
}

TransferStatus SimulatedHidDeviceIo::setOutputReport(std::uint8_t reportID, const std::uint8_t *data,
                                                     std::size_t length)
{
    if (m_closed.load())
        return TransferStatus::NotOpen;
    if (m_unplugged.load())
        return TransferStatus::NoDevice;
    {
        std::lock_guard lock(m_mutex);
        if (m_failures > 0) {
            --m_failures;
            return m_failure;
        }
    }
    // The camera has one unnumbered output report of 64 bytes.
    if (reportID != 0 || length != kReportSize)
        return TransferStatus::Error;
    Report report;
    std::memcpy(report.data(), data, kReportSize);
    m_camera->receiveHostReport(report);
    return TransferStatus::Success;
}

TransferStatus SimulatedHidDeviceIo::readInputReport(std::uint8_t *buffer, std::size_t capacity, std::size_t &length,
                                                     int timeoutMs)
{
    length = 0;
    if (m_closed.load())
        return TransferStatus::NotOpen;
    if (m_unplugged.load())
        return TransferStatus::NoDevice;
    SimulatedInput::Entry entry;
    if (!m_input->pop(entry, std::chrono::milliseconds(timeoutMs)))
        return m_unplugged.load() ? TransferStatus::NoDevice : TransferStatus::Timeout;
    length = std::min<std::size_t>(capacity, entry.bytes);
    std::memcpy(buffer, entry.report.data(), length);
    return TransferStatus::Success;
}

void SimulatedHidDeviceIo::close()
{
    if (m_closed.exchange(true))
        return;
    m_input->close();
}

void SimulatedHidDeviceIo::failOutputReports(TransferStatus status, int count)
{
    std::lock_guard lock(m_mutex);
    m_failure = status;
    m_failures = count;
}

void SimulatedHidDeviceIo::unplug()
{
    m_unplugged.store(true);
    m_input->interrupt();
}

} // namespace kelvo::device::sim
