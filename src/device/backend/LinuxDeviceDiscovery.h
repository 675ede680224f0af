#pragma once

#include <atomic>
#include <functional>
#include <memory>

#include <QString>

#include "device/DeviceAttachHandler.h"
#include "device/DeviceDiscovery.h"

namespace kelvo::device {

class DeviceLink;
class LaunchEventChannel;
class LinuxUsbBus;
class UDisksUnmounter;
class UdevMonitor;

// Device discovery as the application runs it on Linux: the scan over
// hidapi and libusb, the udev watcher that reports arrivals and departures
// to it, the camera disk's unmount through UDisks2, and the attach events
// (from the watcher, and from a second launch over a local socket).
// Thread: construct, destroy and call on the main thread, after
// DeviceLink::startHIDInitialization() and before the link is destroyed.
// The attach event of the camera now on the bus, as a second launch of the
// viewer hands it to the running one (the same service ID as the running
// viewer's own bus watcher reports, so the arrival restarts capture once).
// A service ID of 0 when no camera is present.
AttachEvent attachEventForPresentCamera();

class LinuxDeviceDiscovery {
public:
    struct Options {
        // A D-Bus address instead of the system bus for UDisks2 (tests).
        QString udisksBusAddress;
        // The local socket of the attach events (tests use their own).
        QString attachServerName;
        // Whether to watch udev (tests that only scan may turn it off).
        bool watchBus = true;
    };

    explicit LinuxDeviceDiscovery(DeviceLink &link);
    LinuxDeviceDiscovery(DeviceLink &link, Options options);
    ~LinuxDeviceDiscovery();
    LinuxDeviceDiscovery(const LinuxDeviceDiscovery &) = delete;
    LinuxDeviceDiscovery &operator=(const LinuxDeviceDiscovery &) = delete;

    DeviceDiscovery &discovery() { return *m_discovery; }
    DeviceAttachHandler &attachHandler() { return *m_attachHandler; }

    // doHIDRescan, StartFirmwareUpdateScanner and ResetStuckVideoDevice.
    void doHIDRescan() { m_discovery->doHIDRescan(); }
    void startFirmwareUpdateScanner(bool postUpdate) { m_discovery->startFirmwareUpdateScanner(postUpdate); }
    void resetStuckVideoDevice() { m_discovery->resetStuckVideoDevice(); }

    // Starts delivering attach events to attachHandler(): the camera's
    // arrivals seen by the bus watcher, and events handed over by a second
    // launch. False when the local socket could not be made (the watcher's
    // events still arrive).
    bool tellLaunchDaemonNotToRestartUs();
    // Called on the main thread when a second launch hands over to this
    // viewer, after its attach event (if it carried a camera) is delivered.
    void setRelaunchHandler(std::function<void()> handler) { m_relaunched = std::move(handler); }

    bool isWatchingBus() const;

private:
    void postAttachEvent(const AttachEvent &event);

    std::unique_ptr<LinuxUsbBus> m_bus;
    std::unique_ptr<UDisksUnmounter> m_unmounter;
    std::unique_ptr<DeviceAttachHandler> m_attachHandler;
    std::unique_ptr<DeviceDiscovery> m_discovery;
    std::unique_ptr<LaunchEventChannel> m_channel;
    std::unique_ptr<UdevMonitor> m_monitor;
    std::shared_ptr<std::atomic<bool>> m_deliverAttachEvents;
    std::function<void()> m_relaunched;
};

} // namespace kelvo::device
