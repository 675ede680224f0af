#include "device/backend/LibusbTransport.h"

#include <chrono>
#include <cstring>
#include <set>

#include <libusb.h>

#include "common/SystemLog.h"
#include "device/LocationId.h"

namespace kelvo::device {

// ---- Context ----------------------------------------------------------------------

std::shared_ptr<LibusbContext> LibusbContext::shared()
{
    // Kept for the whole run: the last reference could otherwise drop on the
    // event thread, which cannot join itself.
    static std::mutex mutex;
    static std::shared_ptr<LibusbContext> current;
    std::lock_guard lock(mutex);
    if (current)
        return current;
    libusb_context *context = nullptr;
    if (libusb_init(&context) != LIBUSB_SUCCESS) {
        systemLog("Could not initialise libusb\n");
        return nullptr;
    }
    std::shared_ptr<LibusbContext> created(new LibusbContext(LibusbContextPtr(context)));
    current = created;
    return created;
}

LibusbContext::LibusbContext(LibusbContextPtr context) : m_context(std::move(context))
{
    m_eventThread = std::thread([this] { runEvents(); });
}

LibusbContext::~LibusbContext()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    m_eventThread.join();
}

void LibusbContext::retain()
{
    {
        std::lock_guard lock(m_mutex);
        ++m_openDevices;
    }
    m_wake.notify_all();
}

void LibusbContext::release()
{
    std::lock_guard lock(m_mutex);
    --m_openDevices;
}

void LibusbContext::runEvents()
{
    m_eventThreadId.store(std::this_thread::get_id());
    for (;;) {
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return m_stopping || m_openDevices > 0; });
            if (m_stopping)
                return;
        }
        timeval timeout{0, 100'000};
        libusb_handle_events_timeout_completed(m_context.get(), &timeout, nullptr);
    }
}

// ---- Transport --------------------------------------------------------------------

struct LibusbTransport::State {
    std::shared_ptr<LibusbContext> context;
    libusb_device_handle *handle = nullptr;
    int interfaceNumber = 0;
    std::atomic<bool> closing{false};
    std::atomic<bool> gone{false};
    std::mutex mutex;
    std::condition_variable idle;
    std::set<libusb_transfer *> pending; // guarded by mutex
    bool released = false;               // guarded by mutex
};

struct LibusbTransport::PendingWrite {
    std::shared_ptr<State> state;
    WriteCallback callback;
    std::uint8_t buffer[64];
};

TransferStatus LibusbTransport::statusFromLibusbError(int error)
{
    switch (error) {
    case LIBUSB_SUCCESS:
        return TransferStatus::Success;
    case LIBUSB_ERROR_TIMEOUT:
        return TransferStatus::Timeout;
    case LIBUSB_ERROR_PIPE:
        return TransferStatus::PipeStalled;
    case LIBUSB_ERROR_NO_DEVICE:
    case LIBUSB_ERROR_NOT_FOUND:
        return TransferStatus::NoDevice;
    case LIBUSB_ERROR_BUSY:
    case LIBUSB_ERROR_ACCESS:
        return TransferStatus::ExclusiveAccess;
    case LIBUSB_ERROR_INTERRUPTED:
        return TransferStatus::Aborted;
    case LIBUSB_ERROR_NOT_SUPPORTED:
        return TransferStatus::Unsupported;
    default:
        return TransferStatus::Error;
    }
}

LibusbDevicePtr LibusbContext::findDevice(std::uint8_t bus, std::uint8_t address) const
{
    libusb_device **rawList = nullptr;
    const ssize_t count = libusb_get_device_list(m_context.get(), &rawList);
    const LibusbDeviceListPtr list(rawList);
    for (ssize_t i = 0; i < count; ++i) {
        libusb_device *device = list.get()[i];
        if (libusb_get_bus_number(device) == bus && libusb_get_device_address(device) == address)
            return LibusbDevicePtr(libusb_ref_device(device));
    }
    return nullptr;
}

std::vector<UsbCandidate> LibusbTransport::enumerate(std::uint16_t vendorID, std::uint16_t productID)
{
    std::vector<UsbCandidate> found;
    auto context = LibusbContext::shared();
    if (!context)
        return found;
    libusb_device **rawList = nullptr;
    const ssize_t count = libusb_get_device_list(context->context(), &rawList);
    const LibusbDeviceListPtr list(rawList);
    for (ssize_t i = 0; i < count; ++i) {
        libusb_device *device = list.get()[i];
        libusb_device_descriptor descriptor{};
        if (libusb_get_device_descriptor(device, &descriptor) != LIBUSB_SUCCESS)
            continue;
        if (descriptor.idVendor != vendorID || descriptor.idProduct != productID)
            continue;
        UsbCandidate address;
        address.bus = libusb_get_bus_number(device);
        address.address = libusb_get_device_address(device);
        std::uint8_t ports[8];
        const int depth = libusb_get_port_numbers(device, ports, sizeof ports);
        address.locationID =
            locationIdFromPorts(address.bus, std::span<const std::uint8_t>(ports, depth > 0 ? depth : 0));
        address.vendorID = descriptor.idVendor;
        address.productID = descriptor.idProduct;
        found.push_back(address);
    }
    return found;
}

std::unique_ptr<LibusbTransport> LibusbTransport::open(const UsbCandidate &address, const InterfaceSearch &match,
                                                       TransferStatus *status)
{
    TransferStatus ignored;
    TransferStatus &result = status ? *status : ignored;
    result = TransferStatus::NoDevice;
    auto context = LibusbContext::shared();
    if (!context)
        return nullptr;

    const LibusbDevicePtr device = context->findDevice(address.bus, address.address);
    if (!device)
        return nullptr;

    std::uint8_t ports[8];
    const int depth = libusb_get_port_numbers(device.get(), ports, sizeof ports);
    const std::uint32_t locationID =
        locationIdFromPorts(address.bus, std::span<const std::uint8_t>(ports, depth > 0 ? depth : 0));

    // The first interface that matches, with its endpoints in order.
    int interfaceNumber = -1;
    std::vector<std::uint8_t> endpoints;
    std::vector<std::uint8_t> transferTypes;
    libusb_config_descriptor *rawConfig = nullptr;
    if (libusb_get_active_config_descriptor(device.get(), &rawConfig) != LIBUSB_SUCCESS &&
        libusb_get_config_descriptor(device.get(), 0, &rawConfig) != LIBUSB_SUCCESS) {
        result = TransferStatus::Error;
        return nullptr;
    }
    const LibusbConfigDescriptorPtr config(rawConfig);
    for (int i = 0; i < config->bNumInterfaces && interfaceNumber < 0; ++i) {
        const libusb_interface &interface = config->interface[i];
        for (int alt = 0; alt < interface.num_altsetting; ++alt) {
            const libusb_interface_descriptor &setting = interface.altsetting[alt];
            if ((match.interfaceClass >= 0 && setting.bInterfaceClass != match.interfaceClass) ||
                (match.interfaceSubclass >= 0 && setting.bInterfaceSubClass != match.interfaceSubclass) ||
                (match.interfaceProtocol >= 0 && setting.bInterfaceProtocol != match.interfaceProtocol))
                continue;
            interfaceNumber = setting.bInterfaceNumber;
            for (int e = 0; e < setting.bNumEndpoints; ++e) {
                endpoints.push_back(setting.endpoint[e].bEndpointAddress);
                transferTypes.push_back(setting.endpoint[e].bmAttributes & LIBUSB_TRANSFER_TYPE_MASK);
            }
            break;
        }
    }
    if (interfaceNumber < 0) {
        result = TransferStatus::NotOpen;
        return nullptr;
    }

    libusb_device_handle *rawHandle = nullptr;
    const int opened = libusb_open(device.get(), &rawHandle);
    if (opened != LIBUSB_SUCCESS) {
        result = statusFromLibusbError(opened);
        return nullptr;
    }
    LibusbDeviceHandlePtr handle(rawHandle);
    if (match.takeFromSystemDriver)
        libusb_set_auto_detach_kernel_driver(handle.get(), 1);
    const int claimed = libusb_claim_interface(handle.get(), interfaceNumber);
    if (claimed != LIBUSB_SUCCESS) {
        result = statusFromLibusbError(claimed);
        return nullptr;
    }
    result = TransferStatus::Success;
    context->retain();
    auto state = std::make_shared<State>();
    state->context = context;
    // finishClose() releases the interface and closes the handle, once the
    // last cancelled write has come back.
    state->handle = handle.release();
    state->interfaceNumber = interfaceNumber;
    return std::unique_ptr<LibusbTransport>(
        new LibusbTransport(std::move(state), std::move(endpoints), std::move(transferTypes), locationID));
}

LibusbTransport::LibusbTransport(std::shared_ptr<State> state, std::vector<std::uint8_t> endpoints,
                                 std::vector<std::uint8_t> transferTypes, std::uint32_t locationID)
    : m_state(std::move(state)), m_endpoints(std::move(endpoints)), m_transferTypes(std::move(transferTypes)),
      m_locationID(locationID)
{}

LibusbTransport::~LibusbTransport()
{
    close();
}

int LibusbTransport::interfaceNumber() const
{
    return m_state->interfaceNumber;
}

TransferStatus LibusbTransport::readPipe(std::uint8_t pipe, std::uint8_t *buffer, std::uint32_t capacity,
                                         std::uint32_t &transferred, int timeoutMs)
{
    transferred = 0;
    if (m_state->closing.load())
        return TransferStatus::NotOpen;
    if (pipe == 0 || pipe > m_endpoints.size())
        return TransferStatus::Error;
    const std::uint8_t endpoint = m_endpoints[pipe - 1];
    int actual = 0;
    const int result = m_transferTypes[pipe - 1] == LIBUSB_TRANSFER_TYPE_BULK
                           ? libusb_bulk_transfer(m_state->handle, endpoint, buffer, static_cast<int>(capacity),
                                                  &actual, static_cast<unsigned>(timeoutMs))
                           : libusb_interrupt_transfer(m_state->handle, endpoint, buffer, static_cast<int>(capacity),
                                                       &actual, static_cast<unsigned>(timeoutMs));
    transferred = static_cast<std::uint32_t>(actual > 0 ? actual : 0);
    if (result == LIBUSB_ERROR_TIMEOUT && actual > 0)
        return TransferStatus::Success;
    if (result == LIBUSB_ERROR_NO_DEVICE)
        m_state->gone.store(true);
    return statusFromLibusbError(result);
}

TransferStatus LibusbTransport::writePipeAsync(std::uint8_t pipe, const std::uint8_t *data, std::uint32_t size,
                                               WriteCallback callback)
{
    if (m_state->closing.load())
        return TransferStatus::NotOpen;
    if (pipe == 0 || pipe > m_endpoints.size() || size > 64)
        return TransferStatus::Error;
    LibusbTransferPtr transfer(libusb_alloc_transfer(0));
    if (!transfer)
        return TransferStatus::Error;
    auto pending = std::make_unique<PendingWrite>(PendingWrite{m_state, std::move(callback), {}});
    std::memcpy(pending->buffer, data, size);
    const std::uint8_t endpoint = m_endpoints[pipe - 1];
    if (m_transferTypes[pipe - 1] == LIBUSB_TRANSFER_TYPE_BULK)
        libusb_fill_bulk_transfer(transfer.get(), m_state->handle, endpoint, pending->buffer, static_cast<int>(size),
                                  &LibusbTransport::writeFinished, pending.get(), 0);
    else
        libusb_fill_interrupt_transfer(transfer.get(), m_state->handle, endpoint, pending->buffer,
                                       static_cast<int>(size), &LibusbTransport::writeFinished, pending.get(), 0);
    std::lock_guard lock(m_state->mutex);
    if (m_state->closing.load())
        return TransferStatus::NotOpen;
    const int submitted = libusb_submit_transfer(transfer.get());
    if (submitted != LIBUSB_SUCCESS) {
        if (submitted == LIBUSB_ERROR_NO_DEVICE)
            m_state->gone.store(true);
        return statusFromLibusbError(submitted);
    }
    // Submitted: writeFinished() frees both.
    pending.release();
    m_state->pending.insert(transfer.release());
    return TransferStatus::Success;
}

void LibusbTransport::writeFinished(libusb_transfer *transfer)
{
    std::unique_ptr<PendingWrite> pending(static_cast<PendingWrite *>(transfer->user_data));
    const std::shared_ptr<State> state = std::move(pending->state);
    WriteCallback callback = std::move(pending->callback);
    TransferStatus status = TransferStatus::Error;
    switch (transfer->status) {
    case LIBUSB_TRANSFER_COMPLETED:
        status = TransferStatus::Success;
        break;
    case LIBUSB_TRANSFER_CANCELLED:
        status = TransferStatus::Aborted;
        break;
    case LIBUSB_TRANSFER_STALL:
        status = TransferStatus::PipeStalled;
        break;
    case LIBUSB_TRANSFER_NO_DEVICE:
        status = TransferStatus::NoDevice;
        state->gone.store(true);
        break;
    case LIBUSB_TRANSFER_TIMED_OUT:
        status = TransferStatus::NotResponding;
        break;
    default:
        status = TransferStatus::Error;
        break;
    }
    const auto transferred = static_cast<std::uint32_t>(transfer->actual_length);
    pending.reset();
    bool finish = false;
    {
        std::lock_guard lock(state->mutex);
        state->pending.erase(transfer);
        finish = state->pending.empty() && state->closing.load() && !state->released;
        if (finish)
            state->released = true;
        state->idle.notify_all();
    }
    libusb_free_transfer(transfer);
    // The transport may be gone by now (the state is not): a write that was
    // cancelled by close() finishes the close here.
    if (finish)
        finishClose(*state);
    if (callback)
        callback(status, transferred);
}

TransferStatus LibusbTransport::clearPipeStallBothEnds(std::uint8_t pipe)
{
    if (m_state->closing.load())
        return TransferStatus::NotOpen;
    if (pipe == 0 || pipe > m_endpoints.size())
        return TransferStatus::Error;
    // Clearing the halt resets the device's endpoint and the host's toggle.
    return statusFromLibusbError(libusb_clear_halt(m_state->handle, m_endpoints[pipe - 1]));
}

TransferStatus LibusbTransport::controlRequest(std::uint8_t requestType, std::uint8_t request, std::uint16_t value,
                                               std::uint16_t index, std::uint8_t *data, std::uint16_t length,
                                               std::uint32_t &transferred)
{
    transferred = 0;
    if (m_state->closing.load())
        return TransferStatus::NotOpen;
    const int result = libusb_control_transfer(m_state->handle, requestType, request, value, index, data, length, 5000);
    if (result < 0)
        return statusFromLibusbError(result);
    transferred = static_cast<std::uint32_t>(result);
    return TransferStatus::Success;
}

bool LibusbTransport::isConnected() const
{
    if (m_state->gone.load())
        return false;
    if (m_state->closing.load())
        return true;
    int configuration = 0;
    return libusb_get_configuration(m_state->handle, &configuration) != LIBUSB_ERROR_NO_DEVICE;
}

void LibusbTransport::close()
{
    State &state = *m_state;
    if (state.closing.exchange(true))
        return;
    std::unique_lock lock(state.mutex);
    for (libusb_transfer *transfer : state.pending)
        libusb_cancel_transfer(transfer);
    if (!state.context->isEventThread()) {
        // The event thread completes the cancelled writes.
        state.idle.wait_for(lock, std::chrono::seconds(2), [&] { return state.pending.empty(); });
    }
    if (!state.pending.empty() || state.released)
        return; // the last completion closes the device
    state.released = true;
    lock.unlock();
    finishClose(state);
}

void LibusbTransport::finishClose(State &state)
{
    libusb_release_interface(state.handle, state.interfaceNumber);
    libusb_close(state.handle);
    state.context->release();
}

} // namespace kelvo::device
