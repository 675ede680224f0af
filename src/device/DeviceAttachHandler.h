#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>

#include <QString>

class QObject;

namespace kelvo::device {

// The key under which an attach event carries its text.
inline constexpr const char *kDeviceAttachEventKey = "com.morvane.quadrel.device-attach";

// The operating system's announcement that the camera was plugged in.
struct AttachEvent {
    // What the event holds under kDeviceAttachEventKey; only logged.
    QString deviceAttach;
    // Identifies the arrival (IOMatchLaunchServiceID): the USB device's bus
    // and device number, which a new plug-in changes.
    std::uint64_t serviceID = 0;
};

// The service ID of a USB device arrival.
std::uint64_t attachServiceId(std::uint8_t bus, std::uint8_t address);

// Restarts video capture when the camera is plugged in while the viewer
// runs: each attach event logs "Received event: %s: %llu" and runs
// kickstartQuadrel, which releases the capture at once and starts it again
// 6.0 s later. The capture calls come in as callbacks.
// Thread: construct, destroy and call on the main thread; the callbacks run
// there.
class DeviceAttachHandler {
public:
    DeviceAttachHandler();
    ~DeviceAttachHandler();
    DeviceAttachHandler(const DeviceAttachHandler &) = delete;
    DeviceAttachHandler &operator=(const DeviceAttachHandler &) = delete;

    // setSelectedVideoDevice with none, then cleanupVideoCapture.
    void setCaptureRelease(std::function<void()> release) { m_release = std::move(release); }
    // initializeVideoCapture.
    void setCaptureRestart(std::function<void()> restart) { m_restart = std::move(restart); }
    // The pause before capture restarts (6.0 s); tests shorten it.
    void setRestartDelay(std::chrono::milliseconds delay) { m_restartDelay = delay; }

    // One attach event. An event with the same service ID as the one before
    // is the same arrival reported twice (by the bus watcher and by a second
    // launch): it is logged but does not restart capture again.
    void handleEvent(const AttachEvent &event);

    // "Kickstart 1\n"; releases the capture on the main queue, then
    // kickstartQuadrel2.
    void kickstartQuadrel();
    // Schedules kickstartQuadrel3 after the restart delay.
    void kickstartQuadrel2();
    // Restarts the capture on the main queue.
    void kickstartQuadrel3();

    // The object the handler's queued calls and timers run on.
    QObject *context() const { return m_context.get(); }

private:
    std::unique_ptr<QObject> m_context;
    std::function<void()> m_release;
    std::function<void()> m_restart;
    std::chrono::milliseconds m_restartDelay{6000};
    bool m_hasLastEvent = false;
    std::uint64_t m_lastServiceID = 0;
};

} // namespace kelvo::device
