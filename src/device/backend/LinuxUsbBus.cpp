#include "device/backend/LinuxUsbBus.h"

#include <hidapi/hidapi.h>
#include <libusb.h>

#include "device/backend/HidapiTransport.h"
#include "device/backend/LibusbTransport.h"

namespace kelvo::device {
namespace {

bool matches(const libusb_interface_descriptor &setting, const InterfaceSearch &search)
{
    return (search.interfaceClass < 0 || setting.bInterfaceClass == search.interfaceClass) &&
           (search.interfaceSubclass < 0 || setting.bInterfaceSubClass == search.interfaceSubclass) &&
           (search.interfaceProtocol < 0 || setting.bInterfaceProtocol == search.interfaceProtocol);
}

// A device looked up by bus and address, with an open handle for the
// configuration steps. Interfaces are claimed through LibusbTransport, which
// opens the device on its own.
class LibusbDeviceSession final : public UsbDeviceSession {
public:
    LibusbDeviceSession(std::shared_ptr<LibusbContext> context, LibusbDevicePtr device, LibusbDeviceHandlePtr handle,
                        const UsbCandidate &candidate)
        : m_context(std::move(context)), m_device(std::move(device)), m_handle(std::move(handle)),
          m_candidate(candidate)
    {}

    TransferStatus openDevice() override { return m_handle ? TransferStatus::Success : TransferStatus::NotOpen; }

    TransferStatus configurationValue(std::uint8_t &value) override
    {
        libusb_config_descriptor *config = nullptr;
        const int result = libusb_get_config_descriptor(m_device.get(), 0, &config);
        if (result != LIBUSB_SUCCESS)
            return LibusbTransport::statusFromLibusbError(result);
        value = LibusbConfigDescriptorPtr(config)->bConfigurationValue;
        return TransferStatus::Success;
    }

    TransferStatus setConfiguration(std::uint8_t value) override
    {
        int current = -1;
        // Setting the active configuration again would reset the device.
        if (libusb_get_configuration(m_handle.get(), &current) == LIBUSB_SUCCESS && current == value)
            return TransferStatus::Success;
        return LibusbTransport::statusFromLibusbError(libusb_set_configuration(m_handle.get(), value));
    }

    void closeDevice() override {}

    bool hasInterface(const InterfaceSearch &search) const override
    {
        bool found = false;
        forEachSetting([&](const libusb_interface_descriptor &setting) { found = found || matches(setting, search); });
        return found;
    }

    std::unique_ptr<UsbPipeIo> openInterface(const InterfaceSearch &search, TransferStatus *status) override
    {
        return LibusbTransport::open(m_candidate, search, status);
    }

    std::vector<EndpointInfo> endpoints(const InterfaceSearch &search) const override
    {
        std::vector<EndpointInfo> list;
        bool done = false;
        forEachSetting([&](const libusb_interface_descriptor &setting) {
            if (done || !matches(setting, search))
                return;
            done = true;
            for (int e = 0; e < setting.bNumEndpoints; ++e) {
                const libusb_endpoint_descriptor &endpoint = setting.endpoint[e];
                EndpointInfo info;
                info.direction = (endpoint.bEndpointAddress & LIBUSB_ENDPOINT_IN) ? 1 : 0;
                info.number = endpoint.bEndpointAddress & 0x0F;
                info.transferType = endpoint.bmAttributes & LIBUSB_TRANSFER_TYPE_MASK;
                info.maxPacketSize = endpoint.wMaxPacketSize;
                info.interval = endpoint.bInterval;
                list.push_back(info);
            }
        });
        return list;
    }

private:
    template <typename Visit> void forEachSetting(Visit visit) const
    {
        libusb_config_descriptor *rawConfig = nullptr;
        if (libusb_get_active_config_descriptor(m_device.get(), &rawConfig) != LIBUSB_SUCCESS &&
            libusb_get_config_descriptor(m_device.get(), 0, &rawConfig) != LIBUSB_SUCCESS)
            return;
        const LibusbConfigDescriptorPtr config(rawConfig);
        for (int i = 0; i < config->bNumInterfaces; ++i) {
            for (int alt = 0; alt < config->interface[i].num_altsetting; ++alt)
                visit(config->interface[i].altsetting[alt]);
        }
    }

    // Declared first, so the handle and the device go before the context.
    std::shared_ptr<LibusbContext> m_context;
    LibusbDevicePtr m_device;
    LibusbDeviceHandlePtr m_handle;
    const UsbCandidate m_candidate;
};

} // namespace

bool LinuxUsbBus::hidAvailable()
{
    static const bool ready = hid_init() == 0;
    return ready;
}

std::vector<HidCandidate> LinuxUsbBus::enumerateHid(std::uint16_t vendorID, std::uint16_t productID)
{
    std::vector<HidCandidate> found;
    for (const HidDeviceDescription &description : HidapiTransport::enumerate(vendorID, productID))
        found.push_back({description.path, description.locationID});
    return found;
}

std::unique_ptr<HidDeviceIo> LinuxUsbBus::openHid(const HidCandidate &device, TransferStatus *status)
{
    return HidapiTransport::open(device.path, device.locationID, status);
}

std::vector<UsbCandidate> LinuxUsbBus::enumerateUsb(std::uint16_t vendorID, std::uint16_t productID)
{
    return LibusbTransport::enumerate(vendorID, productID);
}

std::unique_ptr<UsbDeviceSession> LinuxUsbBus::createSession(const UsbCandidate &candidate, TransferStatus *status)
{
    TransferStatus ignored;
    TransferStatus &result = status ? *status : ignored;
    result = TransferStatus::NoDevice;
    auto context = LibusbContext::shared();
    if (!context) {
        result = TransferStatus::Error;
        return nullptr;
    }
    LibusbDevicePtr device = context->findDevice(candidate.bus, candidate.address);
    if (!device)
        return nullptr;
    libusb_device_handle *handle = nullptr;
    const int opened = libusb_open(device.get(), &handle);
    if (opened != LIBUSB_SUCCESS) {
        result = LibusbTransport::statusFromLibusbError(opened);
        return nullptr;
    }
    result = TransferStatus::Success;
    return std::make_unique<LibusbDeviceSession>(std::move(context), std::move(device), LibusbDeviceHandlePtr(handle),
                                                 candidate);
}

} // namespace kelvo::device
