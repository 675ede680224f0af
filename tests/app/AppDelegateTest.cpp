#include "app/AlertPresenter.h"
#include "app/CameraAccess.h"
#include "app/DriverRule.h"
#include "app/KelvoViewerAppDelegate.h"
#include "app/LaunchTimeInstall.h"
#include "common/SystemLog.h"
#include "device/DeviceLink.h"
#include "ui/AboutWindow.h"
#include "ui/AccessNoticeBar.h"
#include "ui/DraggableWindow.h"
#include "ui/MainMenu.h"
#include "ui/MenuTags.h"
#include "ui/PreferencesWindow.h"
#include "viewer/MainWindowDelegate.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QMenuBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <deque>
#include <gtest/gtest.h>
#include <map>

using namespace kelvo;
using namespace kelvo::app;

namespace {

// Answers the shell's questions from a script, and records what was shown.
class ScriptedAlerts : public AlertPresenter {
public:
    bool resetAnswer = false;
    int resetAsked = 0;
    QStringList errors;

    bool confirmFactoryReset() override
    {
        ++resetAsked;
        return resetAnswer;
    }
    void showError(const QString &message, const QString &details) override { errors << message + " " + details; }
};

struct Harness {
    QTemporaryDir dir;
    std::vector<int> steps;
    std::vector<std::string> calls;
    int terminated = 0;
    std::shared_ptr<ScriptedAlerts> alerts = std::make_shared<ScriptedAlerts>();
    std::shared_ptr<DriverRule> rule = std::make_shared<DriverRule>();
    // What the bus shows: no Quadrel unless a test attaches one.
    device::QuadrelAccess access;
    int accessChecks = 0;

    Harness()
    {
        rule->setInstalledPath(dir.filePath(QStringLiteral("rules.d/70-kelvo-quadrel.rules")));
        rule->setRunningAsRoot(false);
        rule->setPackagedRuleFolders({dir.filePath(QStringLiteral("lib/udev/rules.d"))});
    }

    void attachQuadrel(bool permitted)
    {
        access.present = true;
        access.deniedNodes.clear();
        if (!permitted)
            access.deniedNodes = {"/dev/bus/usb/001/004", "/dev/hidraw3"};
    }

    AppServices services()
    {
        AppServices s;
        s.openDiskArbitrationSession = [this] {
            calls.push_back("openDisk");
            return true;
        };
        s.closeDiskArbitrationSession = [this] { calls.push_back("closeDisk"); };
        s.installAutoLaunchPropertyList = [this](bool) { calls.push_back("autoLaunch"); };
        s.tellLaunchDaemonNotToRestartUs = [this] { calls.push_back("attachEvents"); };
        s.willRunStartupStep = [this](int step, const KelvoViewerAppDelegate &) { steps.push_back(step); };
        s.terminate = [this] { ++terminated; };
        s.alerts = alerts;
        s.driverRule = rule;
        s.checkCameraAccess = [this] {
            ++accessChecks;
            return access;
        };
        s.settingsFilePath = dir.filePath(QStringLiteral("settings.plist"));
        return s;
    }

    // A stand-in for pkexec: runs the privileged command as this user after
    // the given shell prelude, or exits with a status instead.
    QString fakePkexec(const QString &body)
    {
        const QString path = dir.filePath(QStringLiteral("pkexec"));
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(("#!/bin/sh\n" + body + "\n").toUtf8());
        file.close();
        file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        return path;
    }

    void installRule(const QByteArray &content)
    {
        QDir().mkpath(QFileInfo(rule->installedPath()).path());
        QFile file(rule->installedPath());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
    }
};

} // namespace

TEST(AppDelegateStartup, BuildsTheLongLivedObjectsInTheirFixedOrder)
{
    Harness h;
    // What exists when each step begins.
    struct Seen {
        bool deviceLink, sendQueue, deviceLinkQueue, controller, interface;
        QString serial;
    };
    std::map<int, Seen> seen;
    int capturesStarted = 0;
    AppServices services = h.services();
    services.willRunStartupStep = [&](int step, const KelvoViewerAppDelegate &d) {
        h.steps.push_back(step);
        if (step == 11)
            QObject::connect(d.appWindowDelegate(), &viewer::MainWindowDelegate::videoCaptureStarting,
                             [&] { ++capturesStarted; });
        device::DeviceLink *link = d.deviceLink();
        seen[step] = {link != nullptr,
                      link && link->sendQueue(),
                      link && link->deviceLinkQueue(),
                      d.appWindowDelegate() != nullptr,
                      d.appWindowDelegate() && d.appWindowDelegate()->interfaceLoaded(),
                      link ? link->deviceSerialNumber() : QString()};
    };
    KelvoViewerAppDelegate built(services);

    EXPECT_EQ(h.steps, (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14}));
    EXPECT_EQ(h.calls, (std::vector<std::string>{"openDisk", "autoLaunch", "attachEvents"}));
    EXPECT_FALSE(seen[3].deviceLink);
    EXPECT_TRUE(seen[4].deviceLink);
    EXPECT_FALSE(seen[4].sendQueue);
    EXPECT_TRUE(seen[5].sendQueue);
    EXPECT_FALSE(seen[9].deviceLinkQueue);
    EXPECT_TRUE(seen[9].serial == QStringLiteral("NOT DETECTED"));
    EXPECT_TRUE(seen[10].deviceLinkQueue);
    EXPECT_FALSE(seen[10].controller);
    EXPECT_TRUE(seen[11].controller);
    EXPECT_FALSE(seen[11].interface);
    EXPECT_TRUE(seen[12].interface);

    EXPECT_EQ(built.deviceLink()->sendQueue() != nullptr, true);
    EXPECT_TRUE(built.deviceLink()->initialized());
    EXPECT_EQ(built.deviceLink()->viewerActions(), built.appWindowDelegate());
    EXPECT_EQ(built.appWindowDelegate()->deviceLink(), built.deviceLink());
    EXPECT_TRUE(built.isForegroundApp());
    EXPECT_TRUE(built.hasDiskArbitrationSession());
    EXPECT_EQ(built.batteryCheckTimer(), nullptr);
    ASSERT_FALSE(built.topLevelWindows().empty());
    EXPECT_EQ(built.topLevelWindows().front(), built.appWindowDelegate()->videoWindow());
    // No window is shown, no device opened and no capture started while the
    // objects are built.
    EXPECT_FALSE(built.appWindowDelegate()->videoWindow()->isVisible());
    EXPECT_TRUE(built.deviceLink()->hidInterfaces().empty());
    EXPECT_EQ(capturesStarted, 0);
}

TEST(AppDelegateStartup, AReadyUpdateIsInstalledAtLaunchOnlyByAFolderThatMayReplaceItself)
{
    Harness h;
    auto makeProgram = [&](const QString &path) {
        QDir().mkpath(QFileInfo(path).path());
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("#!/bin/sh\n");
        file.close();
        file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    };
    const QString bundle = h.dir.filePath(QStringLiteral("Kelvo Viewer.app"));
    makeProgram(bundle + QStringLiteral("/bin/kelvo-viewer"));
    EXPECT_FALSE(canReplaceItself(bundle + QStringLiteral("/bin/kelvo-viewer"))) << "no relauncher beside it";
    makeProgram(bundle + QStringLiteral("/libexec/kelvo-viewer/boomerel"));
    EXPECT_TRUE(canReplaceItself(bundle + QStringLiteral("/bin/kelvo-viewer")));
    // A prefix shared with other programs, and a system package.
    const QString prefix = h.dir.filePath(QStringLiteral("prefix"));
    makeProgram(prefix + QStringLiteral("/bin/kelvo-viewer"));
    makeProgram(prefix + QStringLiteral("/libexec/kelvo-viewer/boomerel"));
    EXPECT_FALSE(canReplaceItself(prefix + QStringLiteral("/bin/kelvo-viewer")));
    EXPECT_FALSE(canReplaceItself(QStringLiteral("/usr/bin/kelvo-viewer")));

    // At launch the step runs once the interface is up, and an installation
    // that ran ends the viewer the way Quit does.
    AppServices services = h.services();
    int asked = 0;
    bool windowsExisted = false;
    services.installReadyUpdate = [&](viewer::MainWindowDelegate &controller, const std::function<void()> &terminate) {
        ++asked;
        windowsExisted = controller.interfaceLoaded();
        terminate();
        return true;
    };
    KelvoViewerAppDelegate delegate(services);
    EXPECT_EQ(asked, 0);
    delegate.interfaceDidLoad();
    EXPECT_EQ(asked, 1);
    EXPECT_TRUE(windowsExisted);
    EXPECT_EQ(h.terminated, 1);

    // Nothing ready: the real step does nothing, wherever the viewer is.
    EXPECT_FALSE(installReadyUpdateAtLaunch(*delegate.appWindowDelegate(), bundle + QStringLiteral("/bin/kelvo-viewer"),
                                            [&] { ++h.terminated; }));
    EXPECT_EQ(h.terminated, 1);
}

TEST(AppDelegateStartup, TeardownClosesTheDiskSessionOnlyWhenOneWasOpened)
{
    Harness h;
    {
        KelvoViewerAppDelegate delegate(h.services());
    }
    EXPECT_EQ(h.calls.back(), "closeDisk");

    Harness noBus;
    AppServices services = noBus.services();
    services.openDiskArbitrationSession = [] { return false; };
    {
        KelvoViewerAppDelegate delegate(services);
        EXPECT_FALSE(delegate.hasDiskArbitrationSession());
    }
    EXPECT_TRUE(std::find(noBus.calls.begin(), noBus.calls.end(), "closeDisk") == noBus.calls.end());
}

TEST(DriverCheck, RuleCountsAsInstalledOnlyWithExactlyTheShippedContent)
{
    Harness h;
    EXPECT_TRUE(h.rule->needsInstalling()); // absent
    h.installRule(DriverRule::shippedRule());
    EXPECT_FALSE(h.rule->needsInstalling());
    QByteArray altered = DriverRule::shippedRule();
    altered.replace("0082", "0083");
    h.installRule(altered);
    EXPECT_TRUE(h.rule->needsInstalling());
    h.installRule(DriverRule::shippedRule() + "\n# local edit\n");
    EXPECT_TRUE(h.rule->needsInstalling());
    EXPECT_EQ(h.rule->state(), DriverRule::State::Outdated);
}

TEST(DriverCheck, APackagedRuleCountsUnlessALocalOneOfTheSameNameOverridesIt)
{
    Harness h;
    const QString packaged = h.dir.filePath(QStringLiteral("lib/udev/rules.d"));
    QDir().mkpath(packaged);
    QFile file(packaged + QLatin1Char('/') + QFileInfo(h.rule->installedPath()).fileName());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(DriverRule::shippedRule());
    file.close();
    EXPECT_EQ(h.rule->state(), DriverRule::State::Installed);
    // udev reads the local folder's file in place of the packaged one.
    h.installRule("# emptied by the administrator\n");
    EXPECT_EQ(h.rule->state(), DriverRule::State::Outdated);
}

TEST(DriverCheck, ShippedRuleGivesTheUserTheCameraAndTagsItForAutoLaunch)
{
    const QString rule = QString::fromUtf8(DriverRule::shippedRule());
    for (const char *product : {"0082", "0084"}) {
        EXPECT_TRUE(rule.contains(QStringLiteral("ATTR{idVendor}==\"202c\", ATTR{idProduct}==\"%1\"").arg(product)));
        EXPECT_TRUE(rule.contains(QStringLiteral("SUBSYSTEM==\"hidraw\", ATTRS{idVendor}==\"202c\", "
                                                 "ATTRS{idProduct}==\"%1\", TAG+=\"uaccess\"")
                                      .arg(product)));
    }
    EXPECT_TRUE(rule.contains(QStringLiteral("TAG+=\"systemd\"")));
    EXPECT_TRUE(rule.contains(QStringLiteral("ENV{SYSTEMD_USER_WANTS}+=\"com.morvane.quadrel.autolaunch.service\"")));
}

namespace {

// The viewer as it starts: window shown, then the launch check.
struct StartedViewer {
    KelvoViewerAppDelegate delegate;
    int rescans = 0;

    explicit StartedViewer(Harness &h) : delegate(h.services())
    {
        delegate.appWindowDelegate()->setHIDRescanHandler([this](const auto &) { ++rescans; });
        delegate.showVideoWindow();
        delegate.applicationDidFinishLaunching();
    }
    ui::AccessNoticeBar *bar() const { return delegate.accessNoticeBar(); }
    bool noticeShown() const { return bar() && bar()->isVisible(); }
    // The user presses the bar's button, as a click or Space would.
    void press(QPushButton *button) { QTest::mouseClick(button, Qt::LeftButton); }
};

} // namespace

TEST(CameraPermission, OfferedOnlyForAQuadrelThisUserCannotOpenWithThePictureAlreadyShown)
{
    struct Case {
        const char *what;
        bool quadrel, permitted;
        bool noticeExpected;
    };
    for (const Case c : {Case{"no Quadrel", false, false, false}, Case{"Quadrel with access", true, true, false},
                         Case{"Quadrel without access", true, false, true}}) {
        SCOPED_TRACE(c.what);
        Harness h;
        if (c.quadrel)
            h.attachQuadrel(c.permitted);
        ScopedLogCapture log;
        StartedViewer v(h);
        EXPECT_TRUE(v.delegate.appWindowDelegate()->videoWindow()->isVisible());
        EXPECT_EQ(v.noticeShown(), c.noticeExpected);
        EXPECT_EQ(h.terminated, 0);
        // Checked again as cameras come and go, it is said once.
        v.delegate.applicationDidFinishLaunching();
        v.delegate.applicationDidFinishLaunching();
        const auto lines = log.lines();
        EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                                [](const std::string &line) {
                                    return line.find("offering the access rule") != std::string::npos;
                                }),
                  c.noticeExpected ? 1 : 0);
        if (c.noticeExpected) {
            EXPECT_TRUE(v.bar()->text().contains(QLatin1String("one-time permission")))
                << v.bar()->text().toStdString();
            EXPECT_TRUE(v.bar()->allowButton()->isEnabled());
            // Plugged out: the notice goes with the camera.
            h.access = {};
            emit v.delegate.appWindowDelegate()->camerasChanged();
            EXPECT_FALSE(v.noticeShown());
        }
    }
}

TEST(CameraPermission, AllowingInstallsInTheBackgroundAndTakesTheCameraUpAgain)
{
    Harness h;
    h.attachQuadrel(false);
    // A slow password dialog, then the privileged command run as this user.
    h.rule->setPkexecProgram(h.fakePkexec(QStringLiteral("sleep 1; exec \"$@\"")));
    StartedViewer v(h);
    ASSERT_TRUE(v.noticeShown());

    int ticks = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
    ticker.start(20);
    v.press(v.bar()->allowButton());
    // The event loop is not held while the password dialog is up.
    EXPECT_TRUE(v.delegate.cameraAccess()->installing());
    EXPECT_FALSE(v.bar()->allowButton()->isEnabled());
    QTRY_VERIFY_WITH_TIMEOUT(!v.delegate.cameraAccess()->installing(), 10000);
    EXPECT_GT(ticks, 10);

    EXPECT_TRUE(h.rule->isInstalled());
    EXPECT_FALSE(v.noticeShown());
    EXPECT_EQ(v.rescans, 1);
    EXPECT_EQ(h.terminated, 0);
}

TEST(CameraPermission, EachFailureKeepsItsReasonAndTheOffer)
{
    struct Case {
        const char *pkexecBody; // null: no such program
        const char *expectInNotice;
    };
    const Case cases[] = {
        {"exit 126", "password was not given"},
        {"exit 127", "not allowed"},
        // Claims success but wrote nothing: must not count as installed.
        {"exit 0", "status 0"},
        {"echo 'install: cannot create' >&2; exit 1", "cannot create"},
        {nullptr, "pkexec"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.expectInNotice);
        Harness h;
        h.attachQuadrel(false);
        h.rule->setPkexecProgram(c.pkexecBody ? h.fakePkexec(QString::fromLatin1(c.pkexecBody))
                                              : h.dir.filePath(QStringLiteral("no-such-pkexec")));
        StartedViewer v(h);
        v.press(v.bar()->allowButton());
        QTRY_VERIFY_WITH_TIMEOUT(!v.delegate.cameraAccess()->installing(), 10000);
        EXPECT_TRUE(v.noticeShown());
        EXPECT_TRUE(v.bar()->text().contains(QLatin1String(c.expectInNotice))) << v.bar()->text().toStdString();
        EXPECT_TRUE(v.bar()->allowButton()->isEnabled());
        EXPECT_TRUE(h.rule->needsInstalling());
        EXPECT_EQ(v.rescans, 0);
        EXPECT_EQ(h.terminated, 0);
    }
}

TEST(CameraPermission, AsRootTheRuleIsInstalledWithoutAskingForAPassword)
{
    Harness h;
    h.attachQuadrel(false);
    // pkexec would refuse: it must not be the one asked.
    h.rule->setPkexecProgram(h.fakePkexec(QStringLiteral("exit 127")));
    h.rule->setRunningAsRoot(true);
    StartedViewer v(h);
    v.press(v.bar()->allowButton());
    QTRY_VERIFY_WITH_TIMEOUT(!v.delegate.cameraAccess()->installing(), 10000);
    EXPECT_TRUE(h.rule->isInstalled());
    EXPECT_FALSE(v.noticeShown());
}

TEST(CameraPermission, NotNowHidesItForThisRunAndAnOutdatedRuleIsOfferedAgain)
{
    Harness h;
    h.installRule(DriverRule::shippedRule() + "\n# local edit\n");
    h.attachQuadrel(false);
    StartedViewer v(h);
    ASSERT_TRUE(v.noticeShown());
    EXPECT_TRUE(v.bar()->text().contains(QLatin1String("out of date"))) << v.bar()->text().toStdString();
    v.press(v.bar()->notNowButton());
    EXPECT_FALSE(v.noticeShown());
    emit v.delegate.appWindowDelegate()->camerasChanged();
    EXPECT_FALSE(v.noticeShown());
    EXPECT_TRUE(v.delegate.appWindowDelegate()->videoWindow()->isVisible());
}

TEST(CameraPermission, NoOfferWithoutARuleToInstall)
{
    // The simulated camera needs no access rule.
    Harness h;
    h.attachQuadrel(false);
    AppServices services = h.services();
    services.driverRule.reset();
    KelvoViewerAppDelegate delegate(services);
    delegate.applicationDidFinishLaunching();
    EXPECT_EQ(delegate.cameraAccess(), nullptr);
    EXPECT_EQ(h.accessChecks, 0);
    EXPECT_FALSE(delegate.accessRuleNeedsInstalling());
}

TEST(AppDelegateWindows, ReopeningShowsTheVideoWindowStartsCaptureAndOpensNoDocument)
{
    Harness h;
    KelvoViewerAppDelegate delegate(h.services());
    delegate.interfaceDidLoad();
    viewer::MainWindowDelegate *controller = delegate.appWindowDelegate();
    QMenuBar *bar = controller->mainMenu()->menuBar();

    delegate.showVideoWindow();
    // The user closing the video window ends the viewer, once the window's
    // own closing steps are done.
    controller->videoWindow()->close();
    EXPECT_EQ(h.terminated, 0);
    QCoreApplication::processEvents();
    EXPECT_EQ(h.terminated, 1);
    int capturesStarted = 0;
    QObject::connect(controller, &viewer::MainWindowDelegate::videoCaptureStarting, [&] { ++capturesStarted; });
    for (int tag : {300, 36, 42, 1000})
        EXPECT_FALSE(ui::findTopLevelItem(bar, tag)->isEnabled()) << tag;
    EXPECT_FALSE(ui::findMenuItem(bar, 95, 109)->isEnabled());

    EXPECT_FALSE(delegate.applicationShouldOpenUntitledFile());
    EXPECT_TRUE(controller->videoWindow()->isVisible());
    EXPECT_EQ(capturesStarted, 1);
    for (int tag : {300, 36, 42, 1000})
        EXPECT_TRUE(ui::findTopLevelItem(bar, tag)->isEnabled()) << tag;
    EXPECT_TRUE(ui::findMenuItem(bar, 95, 109)->isEnabled());
}

TEST(AppDelegateWindows, AboutWindowShowsTheBundleVersionAndCopyright)
{
    Harness h;
    KelvoViewerAppDelegate delegate(h.services());
    EXPECT_FALSE(delegate.bundleVersion().isEmpty());
    EXPECT_TRUE(delegate.bundleCopyright().contains(QStringLiteral("Copyright")));
    delegate.showAboutWindow();
    EXPECT_TRUE(delegate.aboutWindow()->isVisible());
    EXPECT_TRUE(delegate.aboutWindow()->versionText().contains(delegate.bundleVersion()));
    EXPECT_EQ(delegate.aboutWindow()->copyrightText(), delegate.bundleCopyright());
}

TEST(AppDelegateState, ActivationFollowsTheApplicationState)
{
    Harness h;
    KelvoViewerAppDelegate delegate(h.services());
    delegate.applicationDidResignActive();
    EXPECT_FALSE(delegate.isForegroundApp());
    delegate.applicationDidBecomeActive();
    EXPECT_TRUE(delegate.isForegroundApp());
}

TEST(AppDelegateState, BatteryTimerIsStartedOnceAndStoppingTwiceIsHarmless)
{
    Harness h;
    KelvoViewerAppDelegate delegate(h.services());
    delegate.stopBatteryTimer();
    EXPECT_EQ(delegate.batteryCheckTimer(), nullptr);

    delegate.startBatteryTimer();
    QTimer *first = delegate.batteryCheckTimer();
    ASSERT_NE(first, nullptr);
    EXPECT_TRUE(first->isActive());
    EXPECT_EQ(first->interval(), 30000);
    EXPECT_FALSE(first->isSingleShot());
    delegate.startBatteryTimer();
    EXPECT_EQ(delegate.batteryCheckTimer(), first);
    EXPECT_EQ(delegate.findChildren<QTimer *>().size(), 1);

    delegate.stopBatteryTimer();
    delegate.stopBatteryTimer();
    EXPECT_EQ(delegate.batteryCheckTimer(), nullptr);
    EXPECT_TRUE(delegate.findChildren<QTimer *>().isEmpty());
    delegate.startBatteryTimer();
    EXPECT_NE(delegate.batteryCheckTimer(), nullptr);
}

TEST(AppDelegateState, FactoryResetAsksFirstAndCancelChangesNothing)
{
    Harness h;
    KelvoViewerAppDelegate delegate(h.services());
    h.alerts->resetAnswer = false;
    ui::MainMenu *menu = delegate.appWindowDelegate()->mainMenu();
    QAction *reset = nullptr;
    for (QAction *top : menu->menuBar()->actions())
        for (QAction *item : top->menu()->actions())
            if (ui::commandOf(item) == ui::MenuCommand::FactoryReset)
                reset = item;
    ASSERT_NE(reset, nullptr);
    EXPECT_TRUE(menu->trigger(reset));
    EXPECT_EQ(h.alerts->resetAsked, 1);
}

TEST(AppDelegateQuit, ClosingPreferencesCommitsThenQuitSavesOnceEvenWhenNotifiedTwice)
{
    Harness h;
    KelvoViewerAppDelegate delegate(h.services());
    viewer::MainWindowDelegate *controller = delegate.appWindowDelegate();
    controller->preferencesWindow()->show();
    ASSERT_TRUE(controller->preferencesWindow()->isVisible());
    int saves = 0;
    QObject::connect(controller, &viewer::MainWindowDelegate::preferencesSaved, [&] { ++saves; });

    QMetaObject::invokeMethod(qApp, "aboutToQuit", Qt::DirectConnection);
    EXPECT_FALSE(controller->preferencesWindow()->isVisible());
    // Closing the preferences commits them (one save), then quitting saves.
    EXPECT_EQ(saves, 2);
    delegate.appWillTerminate();
    EXPECT_EQ(saves, 2);
    // Nothing is sent to the camera and the delegate does not end the run itself.
    EXPECT_EQ(h.terminated, 0);
}

TEST(AppDelegateQuit, QuitMenuItemTerminates)
{
    Harness h;
    KelvoViewerAppDelegate delegate(h.services());
    QAction *quit = nullptr;
    for (QAction *top : delegate.appWindowDelegate()->mainMenu()->menuBar()->actions())
        for (QAction *item : top->menu()->actions())
            if (item->shortcuts().contains(QKeySequence(Qt::CTRL | Qt::Key_Q)))
                quit = item;
    ASSERT_NE(quit, nullptr);
    quit->trigger();
    EXPECT_EQ(h.terminated, 1);
}
