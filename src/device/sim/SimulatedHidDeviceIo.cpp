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

IOReturn SimulatedHidDeviceIo::setOutputReport(std::uint8_t reportID, const std::uint8_t *data, std::size_t length)
{
    if (m_closed.load())
        return kIOReturnNotOpen;
    if (m_unplugged.load())
        return kIOReturnNoDevice;
    {
        std::lock_guard lock(m_mutex);
        if (m_failures > 0) {
            --m_failures;
            return m_failure;
        }
    }
    // The camera has one unnumbered output report of 64 bytes.
    if (reportID != 0 || length != kReportSize)
        return kIOReturnError;
    Report report;
    std::memcpy(report.data(), data, kReportSize);
    m_camera->receiveHostReport(report);
    return kIOReturnSuccess;
}

IOReturn SimulatedHidDeviceIo::readInputReport(std::uint8_t *buffer, std::size_t capacity, std::size_t &length,
                                               int timeoutMs)
{
    length = 0;
    if (m_closed.load())
        return kIOReturnNotOpen;
    if (m_unplugged.load())
        return kIOReturnNoDevice;
    SimulatedInput::Entry entry;
    if (!m_input->pop(entry, std::chrono::milliseconds(timeoutMs)))
        return m_unplugged.load() ? kIOReturnNoDevice : kIOReturnTimeout;
    length = std::min<std::size_t>(capacity, entry.bytes);
    std::memcpy(buffer, entry.report.data(), length);
    return kIOReturnSuccess;
}

void SimulatedHidDeviceIo::close()
{
    if (m_closed.exchange(true))
        return;
    m_input->close();
}

void SimulatedHidDeviceIo::failOutputReports(IOReturn status, int count)
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
