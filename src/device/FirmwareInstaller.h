#pragma once

#include <QString>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

#include "device/FirmwareUpload.h"

namespace kelvo::device {

class DeviceLink;
class VendorUsbInterface;

// The guided firmware update as one state (firmwareUploadState): entering a
// state logs it, selects its page, arms the watcher that waits for the
// camera, or ends the procedure. Windows and the headless installer plug in
// through Hooks, so both run the same rules.
// Thread: setFirmwareUploadState from any thread (the upload thread, the
// device-link queue, the main thread); every hook that touches the
// interface is handed to the main thread through postToMain.
class FirmwareInstaller {
public:
    struct Hooks {
        // Runs a task on the main thread, later.
        std::function<void(std::function<void()>)> postToMain;
        // Main thread: show the page with this identifier.
        std::function<void(const QString &page)> showPage;
        // Main thread: the camera is back; end the window-modal procedure and
        // show the video again.
        std::function<void()> finished;
        // Main thread: end the procedure and the application.
        std::function<void()> quit;
        // Arms the watcher of the camera's update mode (false) or of its
        // return in camera mode (true); each arms once per run.
        std::function<void(bool postUpdate)> startWatcher;
        // The upload thread: the progress changed (percent).
        std::function<void(double percent)> progressChanged;
    };

    // source's setState and setProgress are replaced by this installer's.
    FirmwareInstaller(DeviceLink &link, Hooks hooks, FirmwareUploadSource source);
    FirmwareInstaller(const FirmwareInstaller &) = delete;
    FirmwareInstaller &operator=(const FirmwareInstaller &) = delete;

    // The page identifier of a state; empty for kDeviceReappeared and
    // values without a page.
    static QString pageIdentifier(std::int32_t state);

    // Stores the state at once, then acts on it (setFirmwareUploadState).
    void setFirmwareUploadState(std::int32_t state);
    std::int32_t firmwareUploadState() const;
    double firmwareUpdateProgress() const { return m_progress.load(); }

    // Starts the procedure: state 0 and the watcher for the update mode.
    // The caller has already put the window up.
    void begin();
    // The window's buttons (cancelFirmwareInstall, retryFirmwareInstall,
    // quitAfterFirmwareInstallFailure).
    void cancelFirmwareInstall();
    void retryFirmwareInstall();
    void quitAfterFirmwareInstallFailure();

    // The upload handler discovery calls on an upload thread with the opened
    // interface of a camera in update mode; closes it when done.
    void upload(const std::shared_ptr<VendorUsbInterface> &interface);

private:
    DeviceLink &m_link;
    const Hooks m_hooks;
    FirmwareUploadSource m_source;
    std::atomic<double> m_progress{0.0};
};

} // namespace kelvo::device
