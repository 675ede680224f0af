#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "device/UsbBus.h"

namespace kelvo::device {

class DeviceLink;
class VendorUsbInterface;

// The four uses a camera's USB device is attached for.
enum class AttachMode { Camera, FirmwareUpdate, CameraPostUpdate, ResetPipeStall };

// The name of a mode in the log ("camera", "firmware update",
// "camera post-update", "resetPipeStall").
const char *attachModeLogName(AttachMode mode);

// Firmware upload states that discovery reads and changes.
inline constexpr std::int32_t kWaitingForDeviceInDFUMode = 0;
inline constexpr std::int32_t kDeviceReappeared = 4;
inline constexpr std::int32_t kFirmwareStateAfterUpdate = 6;
inline constexpr std::int32_t kFirmwareStateFatal = 7;

// Finds the Quadrel on the bus and attaches it in one of its modes: the HID
// scan with its vendor-USB fallback, the attach of USB devices, the
// firmware-update and stuck-video watchers, and the removal handling. It
// knows no device library: the bus comes in as a UsbBus, arrivals and
// departures from whatever watches the bus (deviceArrived/deviceDeparted).
//
// Thread: construct and destroy on the main thread, before the DeviceLink is
// destroyed. Every scan, attach and watcher runs on the link's device-link
// queue ("HID dispatch queue"); the public operations may be called from any
// thread.
class DeviceDiscovery {
public:
    // Receives the interface of a camera attached in firmware-update mode,
    // on a thread of its own (performFirmwareUpdateWithReadCompletionData).
    // The interface is in the link's interface list; the handler closes it
    // or leaves that to the removal handling.
    using FirmwareUploadHandler = std::function<void(std::shared_ptr<VendorUsbInterface>)>;
    // Blocks the calling thread for a while; answers false when discovery is
    // being destroyed and the wait was cut short.
    using Sleeper = std::function<bool(std::chrono::milliseconds)>;

    // The link must have run startHIDInitialization(). Installs itself as the
    // link's stuck-video reset handler.
    DeviceDiscovery(DeviceLink &link, UsbBus &bus);
    // Stops waits in progress and waits for the device-link queue's tasks and
    // the upload threads.
    ~DeviceDiscovery();
    DeviceDiscovery(const DeviceDiscovery &) = delete;
    DeviceDiscovery &operator=(const DeviceDiscovery &) = delete;

    // ---- Collaborators (set before scanning) ------------------------------

    void setFirmwareUploadHandler(FirmwareUploadHandler handler);
    // How the firmware installer's state is changed (its setter has side
    // effects); by default it is only stored in the link.
    void setFirmwareUploadStateSetter(std::function<void(std::int32_t)> setter);
    // UnmountCameraDisk: run on the device-link queue by the scans.
    void setUnmountCameraDisk(std::function<void()> unmount);
    // Replaces the waits between attempts (tests make them instant). The
    // sleeper is called on the device-link queue.
    void setSleeper(Sleeper sleeper);
    // Rounds of the vendor-USB fallback (100); the probe uses fewer.
    void setMaxLegacyRounds(int rounds) { m_maxLegacyRounds = rounds; }

    // ---- Scans ----------------------------------------------------------

    // Logs "HID rescan running.\n" and queues ScanHIDDevices.
    void doHIDRescan();
    // The HID scan; runs on the device-link queue.
    void scanHIDDevices();
    // The vendor-USB fallback; runs on the device-link queue.
    void deviceAddedMainLegacy();
    // Attaches each device in the given mode; true when every one was
    // attached (or deliberately ignored). Runs on the device-link queue.
    bool deviceAdded(const std::vector<UsbCandidate> &devices, AttachMode mode);

    // ---- Watchers -------------------------------------------------------

    // Arms the pre-update (firmware-update device, product 0x84) or
    // post-update (camera back in camera mode, 0x82) watcher once per run and
    // attaches a device already present.
    void startFirmwareUpdateScanner(bool postUpdate);
    // Logs "Resetting stuck video device\n", adds one more pipe-stall watcher
    // and resets the pipe of a camera already present.
    void resetStuckVideoDevice();
    // Number of armed watchers of a mode.
    int watcherCount(AttachMode mode) const;

    // ---- Bus events (from the bus watcher's thread) -----------------------

    // A USB device arrived: the watchers whose product it is attach it.
    void deviceArrived(const UsbCandidate &device);
    // A USB device at this location left: its open interfaces and HID
    // devices get the removal handling (DeviceRemovedCallback,
    // HIDDeviceRemovedCallback).
    void deviceDeparted(std::uint32_t locationID);

private:
    enum class Step { None, CreateSession, Configure, FindInterface, OpenInterface };
    struct Watcher {
        std::uint16_t productID;
        AttachMode mode;
    };

    // Attaches one device; sets endIteration when the devices after it are
    // not to be attached.
    bool attachOne(const UsbCandidate &device, AttachMode mode, bool &endIteration);
    void runOnQueue(std::function<void()> task);
    bool sleepFor(std::chrono::milliseconds duration);
    void setFirmwareUploadState(std::int32_t state);
    void unmountCameraDisk();
    void startUpload(const std::shared_ptr<VendorUsbInterface> &interface);

    DeviceLink &m_link;
    UsbBus &m_bus;
    int m_maxLegacyRounds = 100;

    std::mutex m_handlerMutex;
    FirmwareUploadHandler m_uploadHandler;                 // guarded by m_handlerMutex
    std::function<void(std::int32_t)> m_uploadStateSetter; // guarded by m_handlerMutex
    std::function<void()> m_unmountCameraDisk;             // guarded by m_handlerMutex
    Sleeper m_sleeper;                                     // guarded by m_handlerMutex

    mutable std::mutex m_watcherMutex;
    std::vector<Watcher> m_watchers; // guarded by m_watcherMutex

    std::mutex m_stopMutex;
    std::condition_variable m_stopWake;
    std::atomic<bool> m_stopping{false};
    std::vector<std::thread> m_uploads; // guarded by m_stopMutex
};

} // namespace kelvo::device
