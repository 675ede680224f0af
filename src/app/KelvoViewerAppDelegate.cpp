#include "app/KelvoViewerAppDelegate.h"

#include "app/AlertPresenter.h"
#include "app/AutoLaunchAgent.h"
#include "app/CameraAccess.h"
#include "app/DriverRule.h"
#include "app/LaunchTimeInstall.h"
#include "app/PreferencesBinding.h"
#include "app/SystemdUserAgent.h"
#include "app/ViewerLifecycle.h"
#include "common/BuildInfo.h"
#include "common/Localization.h"
#include "common/SystemLog.h"
#include "device/DeviceLink.h"
#include "device/backend/LinuxDeviceDiscovery.h"
#include "device/backend/LinuxUsbBus.h"
#include "settings/PlistCodec.h"
#include "settings/PreferenceKeys.h"
#include "settings/SettingsStore.h"
#include "ui/AboutWindow.h"
#include "ui/AccessNoticeBar.h"
#include "ui/DraggableWindow.h"
#include "ui/MainMenu.h"
#include "ui/PreferencesWindow.h"
#include "viewer/MainWindowDelegate.h"

#include <QAction>
#include <QApplication>
#include <QDBusConnection>
#include <QFile>
#include <QGuiApplication>

namespace kelvo::app {
namespace {

constexpr const char *kDiskSessionName = "kelvo-disk-arbitration";
constexpr int kBatteryCheckIntervalMs = 30'000;

// The permission notice as the bar across the picture shows it.
class NoticeBarAdapter final : public AccessNotice {
public:
    explicit NoticeBarAdapter(ui::AccessNoticeBar *bar) : m_bar(bar) {}
    void showNotice(const QString &text) override { m_bar->showText(text); }
    void showWorking(const QString &text) override { m_bar->showWaiting(text); }
    void hideNotice() override { m_bar->hide(); }

private:
    ui::AccessNoticeBar *m_bar;
};
// The user's saved auto-launch choice, read before the viewer controller (which
// owns the settings) exists; YES unless the settings say otherwise. Only
// reads: a damaged file is the controller's to set aside.
bool savedAutoLaunchChoice(const QString &settingsFilePath)
{
    QFile file(settingsFilePath.isEmpty() ? settings::SettingsStore::defaultFilePath() : settingsFilePath);
    if (!file.open(QIODevice::ReadOnly))
        return true;
    const std::optional<settings::PlistValue> root = settings::PlistCodec::fromBytes(file.readAll());
    const settings::PlistDictionary *domain = root ? root->asDictionary() : nullptr;
    if (!domain)
        return true;
    const std::optional<settings::PlistValue> choice = domain->valueForKey(
        QString::fromLatin1(settings::keys::kAppAutomaticallyLaunchesWhenDeviceDetected), settings::PlistClass::Number);
    return !choice || choice->isBooleanTrue() || choice->intValue() != 0;
}

// The user's auto-launch unit, made when first needed (the executable's
// path is known once the application object exists).
std::shared_ptr<AutoLaunchAgent> systemAutoLaunchAgent()
{
    static std::shared_ptr<AutoLaunchAgent> agent;
    if (!agent) {
        agent = std::make_shared<AutoLaunchAgent>(
            AutoLaunchAgent::Paths{AutoLaunchAgent::defaultUnitFolder(),
                                   AutoLaunchAgent::findTemplate(QCoreApplication::applicationDirPath()),
                                   QCoreApplication::applicationFilePath()},
            std::make_shared<SystemdUserAgent>());
    }
    return agent;
}

} // namespace

AppServices KelvoViewerAppDelegate::defaultServices()
{
    AppServices services;
    services.openDiskArbitrationSession = [] {
        return QDBusConnection::connectToBus(QDBusConnection::SystemBus, QString::fromLatin1(kDiskSessionName))
            .isConnected();
    };
    services.closeDiskArbitrationSession = [] {
        QDBusConnection::disconnectFromBus(QString::fromLatin1(kDiskSessionName));
    };
    services.terminate = [] {
        // Queued, so that quitting also works before the event loop runs.
        QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
    };
    services.createDeviceDiscovery = [](device::DeviceLink &link) {
        return std::make_unique<device::LinuxDeviceDiscovery>(link);
    };
    services.installAutoLaunchPropertyList = [](bool wanted) {
        systemAutoLaunchAgent()->installAutoLaunchPropertyList(wanted);
    };
    services.reloadAutoLaunchPropertyList = [](bool wanted) {
        const std::shared_ptr<AutoLaunchAgent> agent = systemAutoLaunchAgent();
        agent->unloadPropertyList();
        agent->loadPropertyListIfNeeded(wanted);
    };
    services.installLocation = [] { return installLocationOf(QCoreApplication::applicationFilePath()); };
    services.installReadyUpdate = [](viewer::MainWindowDelegate &controller, const std::function<void()> &terminate) {
        return installReadyUpdateAtLaunch(controller, QCoreApplication::applicationFilePath(), terminate);
    };
    services.alerts = std::make_shared<MessageBoxAlertPresenter>();
    services.driverRule = std::make_shared<DriverRule>();
    services.checkCameraAccess = [] {
        device::LinuxUsbBus bus;
        return device::checkQuadrelAccess(bus);
    };
    return services;
}

KelvoViewerAppDelegate::KelvoViewerAppDelegate(AppServices services) : m_services(std::move(services))
{
    auto step = [this](int number) {
        if (m_services.willRunStartupStep)
            m_services.willRunStartupStep(number, *this);
    };

    step(1);
    if (m_services.openDiskArbitrationSession)
        m_diskArbitrationSession = m_services.openDiskArbitrationSession();

    step(2);
    connect(qApp, &QCoreApplication::aboutToQuit, this, &KelvoViewerAppDelegate::appWillTerminate);

    step(3);
    m_deviceLink = std::make_unique<device::DeviceLink>();
    step(4);
    m_deviceLink->createSendQueue();

    step(5);
    m_isForegroundApp = true;

    step(6);
    connect(qApp, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState state) {
        if (state == Qt::ApplicationActive)
            applicationDidBecomeActive();
        else
            applicationDidResignActive();
    });

    step(7);
    if (m_services.installAutoLaunchPropertyList)
        m_services.installAutoLaunchPropertyList(savedAutoLaunchChoice(m_services.settingsFilePath));

    step(8);
    m_deviceLink->resetDeviceInfo();

    step(9);
    m_deviceLink->startHIDInitialization();
    if (m_services.createDeviceDiscovery)
        m_deviceDiscovery = m_services.createDeviceDiscovery(*m_deviceLink);
    if (m_deviceDiscovery)
        m_deviceDiscovery->setRelaunchHandler([this] { applicationWasLaunchedAgain(); });

    step(10);
    m_appWindowDelegate = std::make_unique<viewer::MainWindowDelegate>(m_services.settingsFilePath);
    // Every change of state saves; a large settings file must not make the
    // picture stutter while it is written.
    m_appWindowDelegate->settingsStore().setWritesInBackground(true);
    m_appWindowDelegate->setDeviceLink(m_deviceLink.get());
    m_appWindowDelegate->setDiagnosticModeHandler([this](bool on) { m_deviceLink->setDiagnosticMode(on); });
    m_deviceLink->setViewerActions(m_appWindowDelegate.get());
    m_deviceLink->setApplicationActions(this);

    step(11);
    m_topLevelWindows = m_appWindowDelegate->loadInterface(this);
    m_aboutWindow = std::make_unique<ui::AboutWindow>(bundleVersion(), bundleCopyright());
    if (ui::PreferencesWindow *preferences = m_appWindowDelegate->preferencesWindow()) {
        m_preferencesBinding = std::make_unique<PreferencesBinding>(
            *m_appWindowDelegate, m_services.reloadAutoLaunchPropertyList,
            m_services.installLocation ? m_services.installLocation() : InstallLocation::Writable);
        preferences->setController(m_preferencesBinding.get());
    }
    // The video window comes to the front only while the viewer is the
    // active application, so that a camera event never steals the focus.
    if (ui::DraggableWindow *window = m_appWindowDelegate->videoWindow()) {
        window->setForegroundQuery([this] { return m_isForegroundApp; });
        connect(window, &ui::DraggableWindow::windowWillClose, this, &KelvoViewerAppDelegate::videoWindowWillClose);
        if (m_services.driverRule && m_services.checkCameraAccess)
            createCameraAccess(window->centralWidget());
    }

    // The open-device and listener lists of step 12 belong to the device link
    // and exist from step 3.
    step(12);

    step(13);
    m_batteryCheckTimer = nullptr;

    step(14);
    if (m_services.tellLaunchDaemonNotToRestartUs)
        m_services.tellLaunchDaemonNotToRestartUs();
    else if (m_deviceDiscovery)
        m_deviceDiscovery->tellLaunchDaemonNotToRestartUs();
}

KelvoViewerAppDelegate::~KelvoViewerAppDelegate()
{
    stopBatteryTimer();
    m_cameraAccess.reset();
    // Reports still in flight must not reach a controller that is gone.
    m_deviceLink->setViewerActions(nullptr);
    m_deviceLink->setApplicationActions(nullptr);
    m_appWindowDelegate.reset();
    m_deviceDiscovery.reset();
    m_deviceLink.reset();
    if (m_diskArbitrationSession && m_services.closeDiskArbitrationSession)
        m_services.closeDiskArbitrationSession();
    m_diskArbitrationSession = false;
}

void KelvoViewerAppDelegate::interfaceDidLoad()
{
    m_appWindowDelegate->interfaceDidLoad();
    runStartUp(*m_appWindowDelegate);
    if (m_services.installReadyUpdate)
        m_services.installReadyUpdate(*m_appWindowDelegate, [this] { quit(); });
}

void KelvoViewerAppDelegate::videoWindowWillClose()
{
    runClosing(*m_appWindowDelegate);
    // The video window is the viewer: closing it ends the viewer, as Quit
    // does, once the event that closed it is done.
    QMetaObject::invokeMethod(this, &KelvoViewerAppDelegate::quit, Qt::QueuedConnection);
}

void KelvoViewerAppDelegate::applicationDidFinishLaunching()
{
    systemLog("didFinishLaunching\n");
    if (m_cameraAccess)
        m_cameraAccess->check();
}

void KelvoViewerAppDelegate::createCameraAccess(QWidget *picture)
{
    m_accessNoticeBar = new ui::AccessNoticeBar(picture);
    m_accessNotice = std::make_unique<NoticeBarAdapter>(m_accessNoticeBar);
    m_cameraAccess = std::make_unique<CameraAccess>(
        CameraAccess::Parts{m_services.checkCameraAccess, m_services.driverRule, *m_accessNotice,
                            [this] { m_appWindowDelegate->doHIDRescan(); }});
    connect(m_accessNoticeBar, &ui::AccessNoticeBar::allowClicked, m_cameraAccess.get(), &CameraAccess::allowAccess);
    connect(m_accessNoticeBar, &ui::AccessNoticeBar::notNowClicked, m_cameraAccess.get(), &CameraAccess::notNow);
    // A camera plugged in later is checked as it arrives.
    connect(m_appWindowDelegate.get(), &viewer::MainWindowDelegate::camerasChanged, m_cameraAccess.get(),
            &CameraAccess::check);
}

bool KelvoViewerAppDelegate::accessRuleNeedsInstalling() const
{
    return m_services.driverRule && m_services.driverRule->needsInstalling();
}

bool KelvoViewerAppDelegate::accessRuleIsInstalled() const
{
    return m_services.driverRule && m_services.driverRule->isInstalled();
}

void KelvoViewerAppDelegate::applicationWasLaunchedAgain()
{
    // The user asked for the viewer: bring it forward even though another
    // application was active when they did.
    ui::DraggableWindow *window = m_appWindowDelegate->videoWindow();
    if (!window)
        return;
    if (window->isMinimized())
        window->showNormal();
    window->show();
    window->raise();
    window->activateWindow();
}

void KelvoViewerAppDelegate::quit()
{
    if (m_services.terminate)
        m_services.terminate();
}

void KelvoViewerAppDelegate::showVideoWindow()
{
    ui::DraggableWindow *window = m_appWindowDelegate->videoWindow();
    if (!window)
        return;
    window->show();
    window->raise();
    window->activateWindow();
    m_appWindowDelegate->initializeVideoCapture();
    m_appWindowDelegate->setLineMarkerMenuEnabled(true);
}

bool KelvoViewerAppDelegate::applicationShouldOpenUntitledFile()
{
    showVideoWindow();
    return false;
}

void KelvoViewerAppDelegate::applicationDidResignActive()
{
    m_isForegroundApp = false;
}

void KelvoViewerAppDelegate::applicationDidBecomeActive()
{
    m_isForegroundApp = true;
}

void KelvoViewerAppDelegate::showAboutWindow()
{
    m_aboutWindow->show();
    m_aboutWindow->raise();
    m_aboutWindow->activateWindow();
}

void KelvoViewerAppDelegate::factoryResetWithConfirmation()
{
    if (m_services.alerts->confirmFactoryReset())
        m_appWindowDelegate->factoryReset();
}

void KelvoViewerAppDelegate::startBatteryTimer()
{
    if (m_batteryCheckTimer)
        return;
    checkBatteryLevelNow();
    m_batteryCheckTimer = new QTimer(this);
    m_batteryCheckTimer->setInterval(kBatteryCheckIntervalMs);
    connect(m_batteryCheckTimer, &QTimer::timeout, this, &KelvoViewerAppDelegate::checkBatteryLevelNow);
    m_batteryCheckTimer->start();
}

void KelvoViewerAppDelegate::stopBatteryTimer()
{
    if (!m_batteryCheckTimer)
        return;
    m_batteryCheckTimer->stop();
    delete m_batteryCheckTimer;
    m_batteryCheckTimer = nullptr;
}

void KelvoViewerAppDelegate::checkBatteryLevelNow()
{
    // The camera reports its battery level by itself; the timer only marks
    // that the battery is being watched.
}

void KelvoViewerAppDelegate::appWillTerminate()
{
    if (m_terminating)
        return;
    m_terminating = true;
    if (ui::PreferencesWindow *preferences = m_appWindowDelegate->preferencesWindow();
        preferences && preferences->isVisible())
        preferences->close();
    m_appWindowDelegate->pauseDownloadsOnQuit();
    m_appWindowDelegate->savePreferences();
    // The process may end soon after this returns; the last state must be on disk.
    m_appWindowDelegate->settingsStore().waitForWrites();
}

QString KelvoViewerAppDelegate::bundleVersion() const
{
    return QString::fromUtf8(build::kShortVersion);
}

QString KelvoViewerAppDelegate::bundleCopyright() const
{
    return localized(build::kCopyright);
}

} // namespace kelvo::app
