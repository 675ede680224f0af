#include "device/backend/LibusbHandles.h"

#include <libusb.h>

namespace kelvo::device {

void LibusbRelease::operator()(libusb_context *context) const
{
    libusb_exit(context);
}

void LibusbRelease::operator()(libusb_device *device) const
{
    libusb_unref_device(device);
}

void LibusbRelease::operator()(libusb_device_handle *handle) const
{
    libusb_close(handle);
}

void LibusbRelease::operator()(libusb_transfer *transfer) const
{
    libusb_free_transfer(transfer);
}

void LibusbRelease::operator()(libusb_config_descriptor *config) const
{
    libusb_free_config_descriptor(config);
}

void LibusbRelease::operator()(libusb_device **list) const
{
    libusb_free_device_list(list, 1);
}

} // namespace kelvo::device
