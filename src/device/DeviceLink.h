#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <vector>

#include <QString>

#include "device/HidDevice.h"
#include "device/ReportProtocol.h"
#include "device/SendQueue.h"
#include "device/VendorUsbInterface.h"

#include "common/SerialQueue.h"

class QObject;

namespace kelvo::device {

class ApplicationActions;
class ViewerActions;

// The device link's state and operations, owned by the application delegate
// (KelvoViewerAppDelegate) for the whole run: the device identity, the
// diagnostic and firmware-installer flags, the command send queue, the
// report decoder, and the lists of open vendor USB interfaces, HID devices
// and reader threads. It knows no device library: transports come in as
// UsbPipeIo / HidDeviceIo (libusb and hidapi in device/backend, the
// simulated camera in device/sim).
//
// Thread: construct and destroy on the main thread, which must run a Qt
// event loop for decoded reports to be acted on. Decoding and every call on
// ViewerActions / ApplicationActions / DiagnosticSink / OSDKeyReceiver
// happen on the main thread. sendHIDCommand(), the identity getters and the
// list operations may be called from any thread.
class DeviceLink {
public:
    DeviceLink();
    // Stops readers, the send queue and the queues it created; closes every
    // device without sending anything more.
    ~DeviceLink();
    DeviceLink(const DeviceLink &) = delete;
    DeviceLink &operator=(const DeviceLink &) = delete;

    // ---- Start-up -------------------------------------------------------

    // Creates the empty command queue and its serial queue
    // "com.morvane.hidsendqueue" (start-up steps 3 and 4). A second call does
    // nothing. clock: the spacing's time source (tests pass a virtual one).
    void createSendQueue(std::shared_ptr<SendClock> clock = {});
    // The send queue; null before createSendQueue().
    SendQueue *sendQueue() const { return m_sendQueue.get(); }

    // Logs "Initializing HID device\n" and creates the device-link queue
    // "HID dispatch queue" once; sets initialized. Answers true.
    bool startHIDInitialization();
    bool initialized() const { return m_initialized.load(); }
    // The "HID dispatch queue" on which scans and removals run; null before
    // startHIDInitialization().
    SerialQueue *deviceLinkQueue() const;

    // The collaborators the decoder calls. Not owned; may be null (then the
    // decoder only logs). Set them on the main thread, and clear them before
    // destroying them: decoded reports already queued call them later.
    void setViewerActions(ViewerActions *actions) { m_viewer = actions; }
    ViewerActions *viewerActions() const { return m_viewer; }
    void setApplicationActions(ApplicationActions *actions) { m_application = actions; }
    // Runs when an HID device does not respond to an output report (the
    // stuck-video reset of device discovery). Called on the send queue.
    void setStuckVideoResetHandler(std::function<void()> handler);

    // ---- Device identity and flags -------------------------------------

    // All four identity strings become "NOT DETECTED", all four flags false.
    void resetDeviceInfo();
    QString deviceSerialNumber() const;
    QString boardSerialNumber() const;
    QString deviceFirmwareVersion() const;
    QString bootFirmwareVersion() const;
    bool gotDeviceSerialNumber() const;
    bool gotBoardSerialNumber() const;
    bool gotDeviceFirmwareVersion() const;
    bool gotBootFirmwareVersion() const;

    // True while the button-test window is open: buttons are forwarded to it.
    bool diagnosticMode() const { return m_diagnosticMode.load(); }
    void setDiagnosticMode(bool on) { m_diagnosticMode.store(on); }

    // The firmware installer's state (0..7). Only stored here; its setter
    // with side effects belongs to the installer.
    std::int32_t firmwareUploadState() const { return m_firmwareUploadState.load(); }
    void storeFirmwareUploadState(std::int32_t state) { m_firmwareUploadState.store(state); }

    // Where discovery hands the firmware installer's work when it was given
    // no handler of its own: state changes (setFirmwareUploadState, with its
    // side effects) and the opened interface of a camera in update mode (on
    // an upload thread). The installer sets this while it exists.
    struct FirmwareInstallerRoute {
        std::function<void(std::int32_t state)> setState;
        std::function<void(std::shared_ptr<VendorUsbInterface>)> upload;
    };
    void setFirmwareInstallerRoute(FirmwareInstallerRoute route);
    FirmwareInstallerRoute firmwareInstallerRoute() const;
    // Discovery's StartFirmwareUpdateScanner, set by discovery for the
    // installer. startFirmwareWatcher answers false when no discovery runs.
    void setFirmwareWatcherStarter(std::function<void(bool postUpdate)> starter);
    bool startFirmwareWatcher(bool postUpdate);

    // Tests and sets the latch of a firmware-update watcher
    // (postUpdateScannerRunning or preUpdateScannerRunning) under the
    // delegate's lock; answers the previous value.
    bool testAndSetUpdateScannerLatch(bool postUpdate);

    // ---- Commands -------------------------------------------------------

    // Queues a command number; true when queued (false only before
    // createSendQueue()). Any thread.
    bool sendHIDCommand(long command);
    // Sends one command at once: true when every report of it was sent.
    // Runs on the send queue. Refuses numbers above 33 (unsigned) with
    // "Unknown command %ld\n". Power up queues thirteen commands and turns
    // the viewer's light state on; the power-down sequence queues 26 and 27;
    // the burst sends its four reports on a queue "FooQueue" of its own.
    bool sendHIDCommandNow(long command);
    // Sends one report (8 command bytes, zero-padded to 64) to every open
    // device. True when at least one device is open and every send was
    // accepted.
    bool sendRawHIDCommand(const CommandBytes &bytes);
    bool sendRawHIDCommand(const std::uint8_t *bytes);

    // ---- Reports from the camera -----------------------------------------

    // Decodes one report and acts on it (main thread). Empty data answers
    // false and logs nothing; a report shorter than 64 bytes reads as
    // zero-padded. True when the code was known.
    bool parseHIDResponse(std::span<const std::uint8_t> data);
    // Logs "Report data:\n" and the 64 bytes in four rows of sixteen.
    void printHIDBuffer(const std::uint8_t *buffer);
    // Hand Return, Up and Down key-downs to the on-screen menu's list.
    void sendOSDReturn();
    void sendOSDUpArrow();
    void sendOSDDownArrow();
    // Copies 64 bytes and has the main thread decode them, without waiting.
    // A null buffer is ignored. Any thread.
    void handleUSBData(const std::uint8_t *buffer);

    // ---- Open devices -----------------------------------------------------

    // Wrap an opened transport with this link's callbacks (reports to the
    // main thread, removal handling). Neither is added to a list.
    std::shared_ptr<VendorUsbInterface> makeVendorInterface(std::unique_ptr<UsbPipeIo> io, std::uint8_t readPipe = 1,
                                                            std::uint8_t writePipe = 2);
    std::shared_ptr<HidDevice> makeHidDevice(std::unique_ptr<HidDeviceIo> io);

    // Camera-mode attach of an opened transport: add it to its list, start
    // its reader (listed in the listener list for vendor interfaces), clear
    // the read pipe's stall (vendor) and queue the power-up command, logging
    // "Could not send power up command.\n" when that fails.
    std::shared_ptr<VendorUsbInterface> attachVendorInterface(std::unique_ptr<UsbPipeIo> io);
    std::shared_ptr<HidDevice> attachHIDDevice(std::unique_ptr<HidDeviceIo> io);

    void addInterfaceInterface(std::shared_ptr<VendorUsbInterface> interface);
    // Removes every occurrence of the interface.
    void removeInterfaceInterface(const std::shared_ptr<VendorUsbInterface> &interface);
    void addHIDInterface(std::shared_ptr<HidDevice> device);
    // Removes the device's entries, then terminates it.
    void removeHIDInterface(const std::shared_ptr<HidDevice> &device);
    void addHIDListener(std::shared_ptr<VendorUsbInterface> listener);
    // Removes the reader from the listener list and cancels it.
    void removeHIDListener(const std::shared_ptr<VendorUsbInterface> &listener);
    // True when an open interface or HID device has the location.
    bool isListeningOnDevice(std::uint32_t locationID) const;
    // Stops the device's reader and closes it.
    void terminateHIDDevice(const std::shared_ptr<HidDevice> &device);
    // Stops using every device: queues the power-down command, empties the
    // lists at once, cancels the readers ("Killing thread %p\n"), and closes
    // the devices once the power-down report has been sent to them (they
    // stay reachable by the send queue until then).
    void terminateAllUSBThreads();
    // Performs no action (kept for the menu action of that name).
    void clearPipeStalls() {}

    // Device-removed handling for a vendor interface (DeviceRemovedCallback
    // on a terminated service): off the lists, identity reset, closed. Runs
    // once per interface however often it is reached; on the device-link
    // queue when it exists.
    void deviceRemoved(const std::shared_ptr<VendorUsbInterface> &interface);
    // HIDDeviceRemovedCallback: removeHIDInterface() and resetDeviceInfo().
    void hidDeviceRemoved(const std::shared_ptr<HidDevice> &device);

    // Snapshots of the lists (for the scan, the diagnostics and tests).
    std::vector<std::shared_ptr<VendorUsbInterface>> usbInterfaces() const;
    std::vector<std::shared_ptr<HidDevice>> hidInterfaces() const;
    std::vector<std::shared_ptr<VendorUsbInterface>> hidListeners() const;

    // Waits until the send queue has sent everything queued so far and any
    // devices retired by terminateAllUSBThreads() are closed. Not on the
    // send queue.
    void waitForSendQueue();

    // The object on the main thread that decoded reports are posted to.
    QObject *mainContext() const { return m_mainContext.get(); }

private:
    void postToMain(std::function<void()> task);
    void runOnDeviceLinkQueue(std::function<void()> task);
    bool sendPowerUp();
    bool sendPowerDownSequence();
    bool sendBurst();
    void setIdentity(QString DeviceLink::*field, bool DeviceLink::*flag, const QString &value);
    void forwardToDiagnosticWindow(long code);
    void sendOSDKey(unsigned short keyCode, int qtKey);
    void closeRetiredDevices();
    void decodeKnownReport(const Report &report);

    std::unique_ptr<QObject> m_mainContext;
    ViewerActions *m_viewer = nullptr;           // main thread
    ApplicationActions *m_application = nullptr; // main thread

    mutable std::mutex m_identityMutex;
    QString m_deviceSerialNumber;            // guarded by m_identityMutex
    QString m_boardSerialNumber;             // guarded by m_identityMutex
    QString m_deviceFirmwareVersion;         // guarded by m_identityMutex
    QString m_bootFirmwareVersion;           // guarded by m_identityMutex
    bool m_gotDeviceSerialNumber = false;    // guarded by m_identityMutex
    bool m_gotBoardSerialNumber = false;     // guarded by m_identityMutex
    bool m_gotDeviceFirmwareVersion = false; // guarded by m_identityMutex
    bool m_gotBootFirmwareVersion = false;   // guarded by m_identityMutex

    std::atomic<bool> m_diagnosticMode{false};
    std::atomic<bool> m_initialized{false};
    std::atomic<std::int32_t> m_firmwareUploadState{0};

    // The delegate's own lock: the open-device lists, the listener list, the
    // retired devices and the firmware-watcher latches.
    mutable std::mutex m_lock;
    std::vector<std::shared_ptr<VendorUsbInterface>> m_usbInterfaces; // guarded by m_lock
    std::vector<std::shared_ptr<HidDevice>> m_hidInterfaces;          // guarded by m_lock
    std::vector<std::shared_ptr<VendorUsbInterface>> m_hidListeners;  // guarded by m_lock
    std::vector<std::shared_ptr<VendorUsbInterface>> m_retiredUsb;    // guarded by m_lock
    std::vector<std::shared_ptr<HidDevice>> m_retiredHid;             // guarded by m_lock
    std::vector<std::weak_ptr<VendorUsbInterface>> m_everUsb;         // guarded by m_lock
    std::vector<std::weak_ptr<HidDevice>> m_everHid;                  // guarded by m_lock
    bool m_preUpdateScannerRunning = false;                           // guarded by m_lock
    bool m_postUpdateScannerRunning = false;                          // guarded by m_lock

    mutable std::mutex m_handlerMutex;
    std::function<void()> m_stuckVideoReset;            // guarded by m_handlerMutex
    FirmwareInstallerRoute m_firmwareRoute;             // guarded by m_handlerMutex
    std::function<void(bool)> m_firmwareWatcherStarter; // guarded by m_handlerMutex

    std::mutex m_burstMutex;
    // A burst's own serial queue; kept until it has sent its reports.
    struct Burst {
        std::atomic<bool> done{false};
        SerialQueue queue{"FooQueue"};
    };
    std::vector<std::unique_ptr<Burst>> m_bursts; // guarded by m_burstMutex

    // The device-link queue, and the queue that stands in for it for removal
    // handling before it exists (removal must never run on a transport's
    // own completion thread, which closing the device waits for).
    mutable std::mutex m_queueMutex;
    std::unique_ptr<SerialQueue> m_deviceLinkQueue; // guarded by m_queueMutex
    std::unique_ptr<SerialQueue> m_removalQueue;    // guarded by m_queueMutex
    std::unique_ptr<SendQueue> m_sendQueue;
};

} // namespace kelvo::device
