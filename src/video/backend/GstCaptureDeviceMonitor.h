#pragma once

#include "video/CaptureDevice.h"
#include "video/backend/GstHandles.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kelvo::video::backend {

class SimulatedCameraSource;

// The capture devices: the system's cameras and microphones from a GStreamer
// device monitor (classes Video/Source and Audio/Source, with hot-plug), one
// more video device described by KELVO_VIDEO_SOURCE, and the simulated
// Quadrel with its microphone, which is listed when simulation is forced or
// when no other camera is there.
// Thread: main thread. The monitor's bus messages arrive on provider threads
// and are posted to the main thread, where the list is rebuilt.
class GstCaptureDeviceMonitor {
public:
    static constexpr const char *kSimulatedCameraID = "kelvo-simulated-quadrel";
    static constexpr const char *kSimulatedMicrophoneID = "kelvo-simulated-quadrel-microphone";
    static constexpr const char *kEnvironmentSourceID = "kelvo-video-source";
    static constexpr const char *kEnvironmentVariable = "KELVO_VIDEO_SOURCE";

    struct Options {
        // Watch the system's devices (off in tests: the list is then scripted).
        bool systemDevices = true;
        // Read KELVO_VIDEO_SOURCE.
        bool environmentSource = true;
    };

    // Told on the main thread after the list changed: which devices came and went.
    using ChangeHandler = std::function<void(bool someConnected, bool someDisconnected)>;

    GstCaptureDeviceMonitor(const Options &options, ChangeHandler onChange);
    ~GstCaptureDeviceMonitor();
    GstCaptureDeviceMonitor(const GstCaptureDeviceMonitor &) = delete;
    GstCaptureDeviceMonitor &operator=(const GstCaptureDeviceMonitor &) = delete;

    std::vector<CaptureDevice> devices(CaptureMediaType type) const;
    // The system's default microphone, else the first one listed.
    std::optional<CaptureDevice> defaultAudioDevice() const;

    // A new source element for the device, or null with a message when the
    // device is gone or cannot be made.
    GstObjectPtr<GstElement> createSourceElement(const CaptureDevice &device, QString *error) const;

    // Adds a device served by a GStreamer source description ("a ! b", the
    // last element's pad is the output); replaces one with the same id.
    void addDescribedDevice(const CaptureDevice &device, const std::string &launchDescription);
    void removeDevice(const std::string &uniqueID);

    // The simulated camera's picture and sound; the simulated Quadrel is
    // listed only while one is set.
    void setSimulatedCamera(std::shared_ptr<SimulatedCameraSource> camera);
    // Lists the simulated Quadrel first, whatever else is there (--simulate).
    void setSimulationForced(bool forced);
    bool isSimulatedCameraListed() const;

    // Re-reads the system's devices now.
    void rescan();

private:
    struct Entry {
        CaptureDevice device;
        CaptureMediaType type;
        std::shared_ptr<GstDevice> gstDevice; // system devices only
        std::string launchDescription;        // described devices only
        bool isDefault = false;               // the system's default microphone
    };

    static GstBusSyncReply onMonitorMessage(GstBus *bus, GstMessage *message, gpointer data);

    void rebuild();

    Options m_options;
    ChangeHandler m_onChange;
    QObject m_context;
    GstObjectPtr<GstDeviceMonitor> m_monitor;
    std::vector<Entry> m_systemEntries;
    std::vector<Entry> m_describedEntries;
    std::vector<Entry> m_list; // what devices() answers, in order
    std::shared_ptr<SimulatedCameraSource> m_simulated;
    bool m_simulationForced = false;
};

} // namespace kelvo::video::backend
