#pragma once

#include <functional>
#include <string>
#include <thread>

#include "device/UsbBus.h"
#include "device/backend/UdevHandles.h"

namespace kelvo::device {

// One USB device arriving at or leaving the bus, as udev reports it.
struct UsbBusEvent {
    UsbCandidate device;
    std::string devpath; // "/devices/usb1/1-1"
};

// Watches udev for USB devices arriving ("add") and leaving ("remove") and
// only reports them: a thread waits with poll() on the monitor's socket and
// a stop eventfd and calls the handlers, never touching device state.
// Thread: start() and stop() from one thread; the handlers run on the
// monitor's own thread.
class UdevMonitor {
public:
    using Handler = std::function<void(const UsbBusEvent &)>;

    UdevMonitor(Handler added, Handler removed);
    ~UdevMonitor();
    UdevMonitor(const UdevMonitor &) = delete;
    UdevMonitor &operator=(const UdevMonitor &) = delete;

    // Starts watching; false (with a log line) when udev cannot be watched.
    bool start();
    // Stops the thread and waits for it. Idempotent.
    void stop();
    bool isRunning() const { return m_thread.joinable(); }

private:
    void run();

    Handler m_added;
    Handler m_removed;
    // The monitor holds a reference to its context of its own.
    UdevPtr m_udev;
    UdevMonitorPtr m_monitor;
    int m_stopFd = -1;
    std::thread m_thread;
};

} // namespace kelvo::device
