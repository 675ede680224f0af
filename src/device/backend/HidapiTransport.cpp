#include "device/backend/HidapiTransport.h"

#include <cerrno>
#include <mutex>
#include <vector>

#include <hidapi/hidapi.h>

#include "device/LocationId.h"
#include "device/backend/UdevHandles.h"

namespace kelvo::device {
namespace {

bool initHidapi()
{
    static const bool ready = hid_init() == 0;
    return ready;
}

TransferStatus statusFromErrno(int error)
{
    switch (error) {
    case ETIMEDOUT:
    case EAGAIN:
        return TransferStatus::NotResponding;
    case ENODEV:
    case ENXIO:
    case ENOENT:
    case ESHUTDOWN:
        return TransferStatus::NoDevice;
    case EBUSY:
    case EACCES:
    case EPERM:
        return TransferStatus::ExclusiveAccess;
    default:
        return TransferStatus::Error;
    }
}

} // namespace

std::vector<HidDeviceDescription> HidapiTransport::enumerate(std::uint16_t vendorID, std::uint16_t productID)
{
    std::vector<HidDeviceDescription> found;
    if (!initHidapi())
        return found;
    hid_device_info *list = hid_enumerate(vendorID, productID);
    for (hid_device_info *info = list; info; info = info->next) {
        HidDeviceDescription description;
        description.path = info->path ? info->path : "";
        description.vendorID = info->vendor_id;
        description.productID = info->product_id;
        description.interfaceNumber = info->interface_number;
        description.locationID = locationIdForHidraw(description.path);
        found.push_back(description);
    }
    hid_free_enumeration(list);
    return found;
}

std::uint32_t HidapiTransport::locationIdForHidraw(const std::string &path)
{
    const auto slash = path.find_last_of('/');
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const UdevPtr context(udev_new());
    if (!context)
        return 0;
    std::uint32_t location = 0;
    if (const UdevDevicePtr hidraw{udev_device_new_from_subsystem_sysname(context.get(), "hidraw", name.c_str())}) {
        // The parent belongs to its child: it is not unreferenced separately.
        if (udev_device *usb = udev_device_get_parent_with_subsystem_devtype(hidraw.get(), "usb", "usb_device")) {
            const char *bus = udev_device_get_sysattr_value(usb, "busnum");
            const char *devpath = udev_device_get_sysattr_value(usb, "devpath");
            if (bus && devpath)
                location = locationIdFromDevpath(static_cast<std::uint8_t>(std::atoi(bus)), devpath);
        }
    }
    return location;
}

std::unique_ptr<HidapiTransport> HidapiTransport::open(const std::string &path, std::uint32_t locationID,
                                                       TransferStatus *status)
{
    TransferStatus ignored;
    TransferStatus &result = status ? *status : ignored;
    if (!initHidapi()) {
        result = TransferStatus::Error;
        return nullptr;
    }
    errno = 0;
    hid_device *device = hid_open_path(path.c_str());
    if (!device) {
        result = errno ? statusFromErrno(errno) : TransferStatus::NotOpen;
        return nullptr;
    }
    result = TransferStatus::Success;
    return std::unique_ptr<HidapiTransport>(new HidapiTransport(device, locationID));
}

HidapiTransport::HidapiTransport(hid_device_ *device, std::uint32_t locationID)
    : m_device(device), m_locationID(locationID)
{}

HidapiTransport::~HidapiTransport()
{
    close();
}

TransferStatus HidapiTransport::setOutputReport(std::uint8_t reportID, const std::uint8_t *data, std::size_t length)
{
    if (!m_device)
        return TransferStatus::NotOpen;
    std::vector<unsigned char> report(length + 1);
    report[0] = reportID;
    std::copy(data, data + length, report.begin() + 1);
    errno = 0;
    const int written = hid_write(m_device, report.data(), report.size());
    if (written < 0)
        return statusFromErrno(errno);
    return static_cast<std::size_t>(written) == report.size() ? TransferStatus::Success : TransferStatus::Error;
}

TransferStatus HidapiTransport::readInputReport(std::uint8_t *buffer, std::size_t capacity, std::size_t &length,
                                                int timeoutMs)
{
    length = 0;
    if (!m_device)
        return TransferStatus::NotOpen;
    const int read = hid_read_timeout(m_device, buffer, capacity, timeoutMs);
    if (read < 0)
        return TransferStatus::NoDevice; // hidapi fails reads once the device is gone
    if (read == 0)
        return TransferStatus::Timeout;
    length = static_cast<std::size_t>(read);
    return TransferStatus::Success;
}

void HidapiTransport::close()
{
    if (!m_device)
        return;
    hid_close(m_device);
    m_device = nullptr;
}

} // namespace kelvo::device
