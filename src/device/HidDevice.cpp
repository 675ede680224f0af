#include "device/HidDevice.h"

#include "common/SystemLog.h"
#include "device/ReaderThread.h"

namespace kelvo::device {

std::shared_ptr<HidDevice> HidDevice::create(std::unique_ptr<HidDeviceIo> io, Callbacks callbacks)
{
    return std::shared_ptr<HidDevice>(new HidDevice(std::move(io), std::move(callbacks)));
}

HidDevice::HidDevice(std::unique_ptr<HidDeviceIo> io, Callbacks callbacks)
    : m_io(std::move(io)), m_callbacks(std::move(callbacks)), m_locationID(m_io->locationID())
{}

HidDevice::~HidDevice()
{
    terminate();
    std::lock_guard lock(m_threadMutex);
    endReaderThread(m_reader);
}

TransferStatus HidDevice::setOutputReport(const Report &report)
{
    std::lock_guard lock(m_ioMutex);
    if (m_closed)
        return TransferStatus::NotOpen;
    return m_io->setOutputReport(0, report.data(), report.size());
}

void HidDevice::startReader()
{
    std::lock_guard lock(m_threadMutex);
    if (m_reader.joinable() || m_terminated.load())
        return;
    m_reader = std::thread([self = shared_from_this()] { self->runReader(); });
}

void HidDevice::terminate()
{
    if (m_terminated.exchange(true))
        return;
    m_stop.store(true);
    std::thread reader;
    {
        std::lock_guard lock(m_threadMutex);
        if (m_reader.joinable() && m_reader.get_id() != std::this_thread::get_id())
            reader = std::move(m_reader);
    }
    if (reader.joinable())
        reader.join();
    std::lock_guard lock(m_ioMutex);
    m_closed = true;
    m_io->close();
}

void HidDevice::runReader()
{
    Report buffer{};
    while (!m_stop.load()) {
        std::size_t length = 0;
        const TransferStatus status = m_io->readInputReport(buffer.data(), buffer.size(), length, kReadPollMs);
        if (status == TransferStatus::Timeout)
            continue;
        if (status != TransferStatus::Success) {
            if (!m_stop.load() && m_callbacks.deviceRemoved)
                m_callbacks.deviceRemoved(shared_from_this());
            return;
        }
        if (length == 0)
            continue;
        systemLog("Got HID report\n");
        if (length < buffer.size())
            std::fill(buffer.begin() + static_cast<std::ptrdiff_t>(length), buffer.end(), 0);
        if (m_callbacks.inputReport)
            m_callbacks.inputReport(buffer);
    }
}

} // namespace kelvo::device
