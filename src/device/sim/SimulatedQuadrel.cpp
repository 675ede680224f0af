#include "device/sim/SimulatedQuadrel.h"

#include "device/sim/SimulatedHidDeviceIo.h"
#include "device/sim/SimulatedUsbPipeIo.h"

namespace kelvo::device::sim {

void attachSimulatedQuadrel(DeviceLink &link, std::shared_ptr<QuadrelSimulator> camera, SimulatedTransport transport)
{
    if (transport == SimulatedTransport::VendorUsb)
        link.attachVendorInterface(std::make_unique<SimulatedUsbPipeIo>(std::move(camera)));
    else
        link.attachHIDDevice(std::make_unique<SimulatedHidDeviceIo>(std::move(camera)));
}

} // namespace kelvo::device::sim
