#pragma once

#include "video/CaptureDevice.h"

#include <memory>
#include <optional>

namespace kelvo::device::sim {
class QuadrelSimulator;
}
namespace kelvo::video {
class CaptureQtScheduler;
namespace backend {
class GstCaptureBackend;
class SimulatedCameraSource;
} // namespace backend
} // namespace kelvo::video

namespace kelvo::app {

class KelvoViewerAppDelegate;
class SimulatorDebugChannel;

// The real capture and camera backends of a running viewer: the GStreamer
// session and device list, and the built-in simulated Quadrel (its picture,
// sound and report channel) that stands in when no camera is attached.
// Created by main after the application delegate; lives on the main thread.
class CameraServices {
public:
    struct Options {
        // Show the simulated camera even when a real one is attached.
        bool forceSimulation = false;
    };

    explicit CameraServices(const Options &options);
    ~CameraServices();
    CameraServices(const CameraServices &) = delete;
    CameraServices &operator=(const CameraServices &) = delete;

    // Hands the capture session to the viewer controller and tells it how to
    // reach the camera's buttons once the camera is the video source.
    void attach(KelvoViewerAppDelegate &delegate);

    device::sim::QuadrelSimulator &simulatedCamera() { return *m_simulator; }
    static bool isSimulatedQuadrel(const video::CaptureDevice &device);

private:
    std::shared_ptr<device::sim::QuadrelSimulator> m_simulator;
    std::shared_ptr<video::backend::SimulatedCameraSource> m_simulatedSource;
    std::unique_ptr<video::backend::GstCaptureBackend> m_backend;
    std::unique_ptr<video::CaptureQtScheduler> m_scheduler;
    std::unique_ptr<SimulatorDebugChannel> m_debugChannel;
};

} // namespace kelvo::app
