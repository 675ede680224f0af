#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>
#include <memory>
#include <vector>

class QDBusConnection;
class QWidget;

#include "app/InstallLocation.h"
#include "device/QuadrelAccess.h"
#include "device/ViewerActions.h"
#include "viewer/ApplicationCommands.h"

namespace kelvo::device {
class DeviceLink;
class LinuxDeviceDiscovery;
} // namespace kelvo::device
namespace kelvo::ui {
class AboutWindow;
class AccessNoticeBar;
} // namespace kelvo::ui
namespace kelvo::viewer {
class MainWindowDelegate;
}

namespace kelvo::app {

class AlertPresenter;
class AccessNotice;
class CameraAccess;
class DriverRule;
class PreferencesBinding;

// What the application shell needs from the system, gathered so that a test
// can watch the start-up order and answer for the user. Every member has a
// working default; see KelvoViewerAppDelegate::defaultServices().
struct AppServices {
    // Step 1 of start-up: the session used to unmount the camera's disk.
    // Answers false when no system bus is reachable (the viewer still runs).
    std::function<bool()> openDiskArbitrationSession;
    std::function<void()> closeDiskArbitrationSession;
    // Writes and refreshes the per-user unit that starts the viewer when the
    // camera is plugged in; `wanted` is the user's saved choice, which
    // decides whether a newly written unit is enabled.
    std::function<void(bool wanted)> installAutoLaunchPropertyList;
    // When the preferences close: disables the unit, then enables it again
    // if wanted.
    std::function<void(bool wanted)> reloadAutoLaunchPropertyList;
    // Where the viewer is installed, for the preferences' update warning.
    std::function<InstallLocation()> installLocation;
    // Finds the camera on the bus and watches it come and go; none in tests
    // that do not exercise the bus.
    std::function<std::unique_ptr<device::LinuxDeviceDiscovery>(device::DeviceLink &)> createDeviceDiscovery;
    // Arms the handler for camera-attach events (the discovery's own when
    // this is empty).
    std::function<void()> tellLaunchDaemonNotToRestartUs;
    // Called as each numbered step of start-up begins, with the delegate as
    // built so far (diagnostics and tests).
    std::function<void(int step, const class KelvoViewerAppDelegate &)> willRunStartupStep;
    // Ends the application.
    std::function<void()> terminate;
    // With the interface loaded: installs a downloaded application update
    // and answers whether the application is now ending for it.
    std::function<bool(viewer::MainWindowDelegate &, const std::function<void()> &terminate)> installReadyUpdate;
    // Where the viewer's settings are kept; empty for the user's
    // configuration folder.
    QString settingsFilePath;
    std::shared_ptr<AlertPresenter> alerts;
    // The camera's access rule; none where no rule is needed (the simulated
    // camera).
    std::shared_ptr<DriverRule> driverRule;
    // Whether this user can open the Quadrel's nodes on the bus.
    std::function<device::QuadrelAccess()> checkCameraAccess;
};

// The application delegate: builds the long-lived objects in a fixed order,
// offers the camera's permission where it is missing, and saves the viewer's
// state when the application quits. Thread: main thread.
class KelvoViewerAppDelegate : public QObject, public device::ApplicationActions, public viewer::ApplicationCommands {
    Q_OBJECT
public:
    static AppServices defaultServices();

    explicit KelvoViewerAppDelegate(AppServices services = defaultServices());
    ~KelvoViewerAppDelegate() override;

    // The interface is built: runs the viewer's start-up sequence (settings,
    // window, capture, first-launch preferences, update check).
    void interfaceDidLoad();
    // After the event loop has started, with the picture on screen: the
    // camera's permission is checked, and offered in the video window only
    // when a Quadrel is attached that this user cannot open.
    void applicationDidFinishLaunching();
    // Whether the camera access rule must be installed, and whether the
    // installed one is the one this viewer ships.
    bool accessRuleNeedsInstalling() const;
    bool accessRuleIsInstalled() const;

    void showVideoWindow() override;
    // The viewer was started again while running: its window comes forward.
    void applicationWasLaunchedAgain();
    // The application was reopened with no window: shows the video window and
    // answers false (no untitled document is opened).
    bool applicationShouldOpenUntitledFile();

    void applicationDidResignActive();
    void applicationDidBecomeActive();
    void showAboutWindow() override;
    // Asks the user, then resets every setting to its default.
    void factoryResetWithConfirmation() override;
    void quit() override;

    void startBatteryTimer() override;
    void stopBatteryTimer() override;
    void checkBatteryLevelNow();

    // Saves the viewer's state before the process ends.
    void appWillTerminate();

    bool isForegroundApp() const { return m_isForegroundApp; }
    viewer::MainWindowDelegate *appWindowDelegate() const { return m_appWindowDelegate.get(); }
    // The camera's report protocol, send queue and open devices.
    device::DeviceLink *deviceLink() const { return m_deviceLink.get(); }
    // The scan, the bus watcher and the attach events; null when not created.
    device::LinuxDeviceDiscovery *deviceDiscovery() const { return m_deviceDiscovery.get(); }
    // The interface's top-level windows, the video window first.
    const std::vector<QWidget *> &topLevelWindows() const { return m_topLevelWindows; }
    QTimer *batteryCheckTimer() const { return m_batteryCheckTimer; }
    ui::AboutWindow *aboutWindow() const { return m_aboutWindow.get(); }
    bool hasDiskArbitrationSession() const { return m_diskArbitrationSession; }
    // The permission offer and its bar; null without an access rule.
    CameraAccess *cameraAccess() const { return m_cameraAccess.get(); }
    ui::AccessNoticeBar *accessNoticeBar() const { return m_accessNoticeBar; }
    QString bundleVersion() const;
    QString bundleCopyright() const;

private:
    void videoWindowWillClose();
    void createCameraAccess(QWidget *picture);
    AppServices m_services;
    bool m_isForegroundApp = false;
    bool m_diskArbitrationSession = false;
    bool m_terminating = false;
    std::unique_ptr<device::DeviceLink> m_deviceLink;
    std::unique_ptr<device::LinuxDeviceDiscovery> m_deviceDiscovery;
    std::unique_ptr<viewer::MainWindowDelegate> m_appWindowDelegate;
    std::vector<QWidget *> m_topLevelWindows;
    QTimer *m_batteryCheckTimer = nullptr;
    std::unique_ptr<ui::AboutWindow> m_aboutWindow;
    ui::AccessNoticeBar *m_accessNoticeBar = nullptr; // child of the video window's picture
    std::unique_ptr<AccessNotice> m_accessNotice;
    std::unique_ptr<CameraAccess> m_cameraAccess;
    std::unique_ptr<PreferencesBinding> m_preferencesBinding;
};

} // namespace kelvo::app
