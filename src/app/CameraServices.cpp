#include "app/CameraServices.h"

#include "app/KelvoViewerAppDelegate.h"
#include "app/SimulatorDebugChannel.h"
#include "common/SystemLog.h"
#include "device/DeviceAttachHandler.h"
#include "device/DeviceLink.h"
#include "device/backend/LinuxDeviceDiscovery.h"
#include "device/sim/QuadrelSimulator.h"
#include "device/sim/SimulatedQuadrel.h"
#include "video/CaptureQtScheduler.h"
#include "video/backend/GstCaptureBackend.h"
#include "video/backend/GstCaptureDeviceMonitor.h"
#include "video/backend/SimulatedCameraSource.h"
#include "viewer/MainWindowDelegate.h"

namespace kelvo::app {

CameraServices::CameraServices(const Options &options)
    : m_simulator(std::make_shared<device::sim::QuadrelSimulator>()),
      m_simulatedSource(std::make_shared<video::backend::SimulatedCameraSource>())
{
    // The simulated camera's picture follows what its lens and freeze
    // commands set, as the real camera's does.
    std::weak_ptr<video::backend::SimulatedCameraSource> source = m_simulatedSource;
    m_simulator->setLensPositionObserver([source](std::uint16_t position) {
        if (auto s = source.lock())
            s->setLensPosition(position);
    });
    m_simulator->setFrozenObserver([source](bool frozen) {
        if (auto s = source.lock())
            s->setFrozen(frozen);
    });
    m_backend = std::make_unique<video::backend::GstCaptureBackend>(video::backend::GstCaptureBackend::Options{},
                                                                    m_simulatedSource);
    if (options.forceSimulation)
        m_backend->deviceMonitor().setSimulationForced(true);
    m_scheduler = std::make_unique<video::CaptureQtScheduler>();
    m_debugChannel = SimulatorDebugChannel::fromEnvironment(m_simulator);
}

CameraServices::~CameraServices()
{
    m_simulator->setLensPositionObserver({});
    m_simulator->setFrozenObserver({});
}

bool CameraServices::isSimulatedQuadrel(const video::CaptureDevice &device)
{
    return device.uniqueID == video::backend::GstCaptureDeviceMonitor::kSimulatedCameraID;
}

void CameraServices::attach(KelvoViewerAppDelegate &delegate)
{
    viewer::MainWindowDelegate *controller = delegate.appWindowDelegate();
    device::DeviceLink *link = delegate.deviceLink();
    controller->attachCapture(*m_backend, *m_scheduler);
    device::LinuxDeviceDiscovery *discovery = delegate.deviceDiscovery();
    controller->setHIDRescanHandler([this, link, discovery](const std::optional<video::CaptureDevice> &device) {
        if (device && isSimulatedQuadrel(*device)) {
            // One report channel per camera, as a real scan would find.
            if (link->hidInterfaces().empty() && link->usbInterfaces().empty())
                device::sim::attachSimulatedQuadrel(*link, m_simulator);
            return;
        }
        if (discovery)
            discovery->doHIDRescan();
    });
    if (!discovery)
        return;
    controller->setResetStuckVideoHandler([discovery] { discovery->resetStuckVideoDevice(); });
    // A camera plugged in while the viewer runs: let go of the capture
    // device at once and take it up again once the camera has settled.
    discovery->attachHandler().setCaptureRelease([controller] { controller->cleanupVideoCapture(); });
    discovery->attachHandler().setCaptureRestart([controller] { controller->initializeVideoCapture(); });
}

} // namespace kelvo::app
