#pragma once

#include <memory>

#include "device/DeviceLink.h"
#include "device/sim/QuadrelSimulator.h"

namespace kelvo::device::sim {

// How the simulated camera is connected.
enum class SimulatedTransport { VendorUsb, Hid };

// Attaches the simulated camera to the link the way the scan attaches a real
// one: its transport joins the open-device list, its reader starts and the
// power-up command is queued, so the camera answers with its identity. For
// the built-in demo and tests; needs createSendQueue() to have run.
void attachSimulatedQuadrel(DeviceLink &link, std::shared_ptr<QuadrelSimulator> camera,
                            SimulatedTransport transport = SimulatedTransport::Hid);

} // namespace kelvo::device::sim
