#pragma once

#include <QObject>
#include <QString>

#include <cstdint>
#include <memory>

namespace kelvo::device {
class FirmwareInstaller;
}

namespace kelvo::viewer {

class MainWindowDelegate;

// The guided camera firmware update in the viewer's windows: the firmware
// installer's states shown as pages of the firmware window, its progress
// bar, its buttons, the menu bar held shut while it runs, and the video
// window closed for the procedure and shown again after it. The installer
// gets the cameras from discovery through the device link.
// Thread: main thread; the installer's state changes arrive from the upload
// thread and the device-link queue and are handed over here.
class FirmwareUpdateFlow : public QObject {
    Q_OBJECT
public:
    // A downloaded image that passed its checksum.
    struct Image {
        QString version;
        QString path;
        QString checksum;
    };

    explicit FirmwareUpdateFlow(MainWindowDelegate &controller);
    ~FirmwareUpdateFlow() override;

    // Closes the video window, shows the firmware window on its first page,
    // arms the watcher for the camera's update mode and shuts the menu bar.
    // False, with nothing changed, without a device link or firmware window.
    bool start(Image image);
    bool running() const { return m_running; }

    // firmwareUploadState; 0 before any procedure.
    std::int32_t state() const;
    double progress() const;

    // The firmware window's buttons.
    void cancelFirmwareInstall();
    void retryFirmwareInstall();
    void quitAfterFirmwareInstallFailure();

private:
    struct Channel;
    void ensureInstaller();
    void showPage(const QString &page);
    void showProgress(double percent);
    void finish();
    void quitApplication();

    MainWindowDelegate &m_controller;
    std::shared_ptr<Channel> m_channel;
    std::shared_ptr<device::FirmwareInstaller> m_installer;
    bool m_running = false;
    bool m_windowConnected = false;
};

} // namespace kelvo::viewer
