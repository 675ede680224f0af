#pragma once

#include <cstdint>
#include <functional>

#include "device/TransferStatus.h"

namespace kelvo::device {

// The pipe operations of one opened, claimed vendor USB interface: what the
// device link needs of a USB stack. Pipe n is the interface's n-th endpoint
// (pipe 0 is the default control pipe). libusb implements it for real
// cameras, the simulator in process.
// Thread: readPipe() on the reader thread; the others from any thread.
class UsbPipeIo {
public:
    using WriteCallback = std::function<void(TransferStatus status, std::uint32_t transferred)>;

    virtual ~UsbPipeIo() = default;

    // The device's 32-bit location identifier (bus and port path).
    virtual std::uint32_t locationID() const = 0;

    // Reads one transfer synchronously into buffer (capacity bytes), waiting
    // at most timeoutMs. Answers TransferStatus::Timeout when nothing came in time
    // (not a completion), else the transfer's status with transferred set.
    virtual TransferStatus readPipe(std::uint8_t pipe, std::uint8_t *buffer, std::uint32_t capacity,
                                    std::uint32_t &transferred, int timeoutMs) = 0;

    // Starts an asynchronous write of size bytes (copied before it returns).
    // The callback runs once, later, on a thread of the transport, unless
    // the start fails: then the start status is answered and no callback
    // runs. After close() every start fails with TransferStatus::NotOpen.
    virtual TransferStatus writePipeAsync(std::uint8_t pipe, const std::uint8_t *data, std::uint32_t size,
                                          WriteCallback callback) = 0;

    // Clears a halt on the host side and on the device's endpoint.
    virtual TransferStatus clearPipeStallBothEnds(std::uint8_t pipe) = 0;

    // A vendor control request on the default control pipe (pipe 0), for the
    // firmware upload: requestType 0xC0 reads into data, 0x40 writes it.
    // Answers the status and sets transferred. Transports without control
    // requests answer TransferStatus::Unsupported.
    virtual TransferStatus controlRequest(std::uint8_t requestType, std::uint8_t request, std::uint16_t value,
                                          std::uint16_t index, std::uint8_t *data, std::uint16_t length,
                                          std::uint32_t &transferred)
    {
        (void)requestType, (void)request, (void)value, (void)index, (void)data, (void)length;
        transferred = 0;
        return TransferStatus::Unsupported;
    }

    // True while the device is still on the bus.
    virtual bool isConnected() const = 0;

    // Aborts pending writes (their callbacks run with TransferStatus::Aborted),
    // releases the interface and closes the device. Idempotent. Must not be
    // called while another thread is inside readPipe().
    virtual void close() = 0;
};

} // namespace kelvo::device
