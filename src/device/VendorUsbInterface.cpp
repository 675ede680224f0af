#include "device/VendorUsbInterface.h"

#include "common/SystemLog.h"
#include "device/ReaderThread.h"

namespace kelvo::device {

std::shared_ptr<VendorUsbInterface> VendorUsbInterface::create(std::unique_ptr<UsbPipeIo> io, Callbacks callbacks,
                                                               std::uint8_t readPipe, std::uint8_t writePipe)
{
    return std::shared_ptr<VendorUsbInterface>(
        new VendorUsbInterface(std::move(io), std::move(callbacks), readPipe, writePipe));
}

VendorUsbInterface::VendorUsbInterface(std::unique_ptr<UsbPipeIo> io, Callbacks callbacks, std::uint8_t readPipe,
                                       std::uint8_t writePipe)
    : m_io(std::move(io)), m_callbacks(std::move(callbacks)), m_readPipe(readPipe), m_writePipe(writePipe),
      m_locationID(m_io->locationID())
{
    m_readRecord.readPipe = readPipe;
    m_readRecord.writePipe = writePipe;
}

VendorUsbInterface::~VendorUsbInterface()
{
    close();
    std::lock_guard lock(m_threadMutex);
    endReaderThread(m_reader);
}

TransferStatus VendorUsbInterface::writeReport(const Report &report)
{
    auto record = std::make_shared<InterfaceRecord>();
    record->interface = weak_from_this();
    record->buffer = report;
    record->readPipe = m_readPipe;
    record->writePipe = m_writePipe;
    return startWrite(record);
}

TransferStatus VendorUsbInterface::startWrite(const std::shared_ptr<InterfaceRecord> &record)
{
    if (m_closing.load())
        return TransferStatus::NotOpen;
    {
        std::lock_guard lock(m_writesMutex);
        ++m_writesInFlight;
    }
    // The completion holds the record but not the interface: a write that
    // completes after the interface is gone finds nothing to touch.
    const TransferStatus started =
        m_io->writePipeAsync(m_writePipe, record->buffer.data(), static_cast<std::uint32_t>(kReportSize),
                             [record](TransferStatus status, std::uint32_t) {
                                 if (auto self = record->interface.lock()) {
                                     self->writeCompletion(record, status);
                                     self->writeFinished();
                                 }
                             });
    if (started != TransferStatus::Success)
        writeFinished();
    return started;
}

void VendorUsbInterface::writeFinished()
{
    {
        std::lock_guard lock(m_writesMutex);
        if (m_writesInFlight > 0)
            --m_writesInFlight;
    }
    m_writesDone.notify_all();
}

TransferStatus VendorUsbInterface::clearPipeStallBothEnds(std::uint8_t pipe)
{
    if (m_closing.load())
        return TransferStatus::NotOpen;
    return m_io->clearPipeStallBothEnds(pipe);
}

TransferStatus VendorUsbInterface::controlRequest(std::uint8_t requestType, std::uint8_t request, std::uint16_t value,
                                                  std::uint16_t index, std::uint8_t *data, std::uint16_t length,
                                                  std::uint32_t &transferred)
{
    transferred = 0;
    if (m_closing.load())
        return TransferStatus::NotOpen;
    return m_io->controlRequest(requestType, request, value, index, data, length, transferred);
}

void VendorUsbInterface::startReader()
{
    std::lock_guard lock(m_threadMutex);
    if (m_reader.joinable() || m_closing.load())
        return;
    m_reader = std::thread([self = shared_from_this()] { self->runReader(); });
}

void VendorUsbInterface::cancelReader()
{
    m_cancelled.store(true);
}

void VendorUsbInterface::joinReader()
{
    std::thread reader;
    {
        std::lock_guard lock(m_threadMutex);
        if (!m_reader.joinable() || m_reader.get_id() == std::this_thread::get_id())
            return;
        reader = std::move(m_reader);
    }
    reader.join();
}

void VendorUsbInterface::close()
{
    if (m_closing.load())
        return;
    {
        // The last reports (the power-down above all) must reach the camera
        // before the interface goes: closing cancels writes still in flight.
        // Bounded, so that a camera that stopped answering cannot hold us.
        std::unique_lock lock(m_writesMutex);
        m_writesDone.wait_for(lock, std::chrono::seconds(1), [this] { return m_writesInFlight == 0; });
    }
    if (m_closing.exchange(true))
        return;
    m_cancelled.store(true);
    joinReader();
    m_io->close();
}

void VendorUsbInterface::runReader()
{
    for (;;) {
        if (m_cancelled.load()) {
            systemLog("HID listener thread exiting (end of loop)");
            return;
        }
        std::uint32_t transferred = 0;
        const TransferStatus status = m_io->readPipe(m_readRecord.readPipe, m_readRecord.buffer.data(),
                                                     static_cast<std::uint32_t>(kReportSize), transferred, kReadPollMs);
        if (status == TransferStatus::Timeout)
            continue;
        if (status != TransferStatus::Success)
            systemLog("ReadPipe failed (%d, %x).\n", static_cast<int>(status), static_cast<unsigned>(status));
        if (!readCompletion(m_readRecord, status, transferred))
            break;
    }
    // A cancelled reader was already taken off the listener list by whoever
    // cancelled it; one that stops by itself removes itself.
    if (!m_cancelled.load() && m_callbacks.readerEnded)
        m_callbacks.readerEnded(shared_from_this());
}

bool VendorUsbInterface::readCompletion(InterfaceRecord &record, TransferStatus status, std::uint32_t bytes)
{
    // A failed transfer is judged by its status even when it moved nothing;
    // otherwise a reader whose device vanished would loop on empty reads.
    if (bytes == 0 && status == TransferStatus::Success) {
        systemLog("Zero-length read\n");
        // A vanished device can keep answering empty reads; only a device that
        // is still there gets another read.
        if (!m_io->isConnected()) {
            deviceWentAway(TransferStatus::NoDevice);
            return false;
        }
        return true;
    }
    if (status == TransferStatus::Success) {
        record.errorCount = 0;
        if (m_callbacks.handleUSBData)
            m_callbacks.handleUSBData(record.buffer);
        record.buffer.fill(0);
        return true;
    }
    record.errorCount += 1;
    switch (status) {
    case TransferStatus::Aborted:
        if (record.errorCount <= kMaxAbortedTransfers) {
            systemLog("Read aborted\n");
            if (m_cancelled.load()) {
                systemLog("HID listener thread exiting (read aborted)");
                return false;
            }
        }
        return true;
    case TransferStatus::PipeStalled:
        systemLog("Read pipe stall\n");
        m_io->clearPipeStallBothEnds(record.readPipe);
        return true;
    default:
        deviceWentAway(status);
        return false;
    }
}

void VendorUsbInterface::writeCompletion(const std::shared_ptr<InterfaceRecord> &record, TransferStatus status)
{
    if (status == TransferStatus::Success) {
        record->errorCount = 0;
        return;
    }
    record->errorCount += 1;
    switch (status) {
    case TransferStatus::Aborted: {
        if (record->errorCount > kMaxAbortedTransfers)
            return;
        systemLog("Write aborted\n");
        TransferStatus restart = startWrite(record);
        if (restart == TransferStatus::PipeStalled) {
            clearPipeStallBothEnds(record->writePipe);
            restart = startWrite(record);
        }
        if (restart != TransferStatus::Success)
            systemLog("Could not reschedule async write.  Giving up.\n");
        return;
    }
    case TransferStatus::PipeStalled:
        systemLog("Write pipe stall\n");
        clearPipeStallBothEnds(record->writePipe);
        return;
    default:
        deviceWentAway(status);
        return;
    }
}

void VendorUsbInterface::deviceWentAway(TransferStatus status)
{
    systemLog("Device went away.  Err %d, %x.\n", static_cast<int>(status), static_cast<unsigned>(status));
    if (m_callbacks.deviceRemoved)
        m_callbacks.deviceRemoved(shared_from_this());
}

} // namespace kelvo::device
