// The guided firmware update as the user meets it: the ready-to-update
// alert, the firmware window's pages and buttons driven with the keyboard
// and the mouse, the video window and the menu bar, with the viewer's real
// discovery and watchers against the emulated camera.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "DeviceTestSupport.h"
#include "QuadrelUmockdevBed.h"
#include "app/AlertPresenter.h"
#include "app/KelvoViewerAppDelegate.h"
#include "device/DeviceLink.h"
#include "device/FirmwareInstaller.h"
#include "device/backend/LinuxDeviceDiscovery.h"
#include "ui/DraggableWindow.h"
#include "ui/FirmwareUpdateWindow.h"
#include "ui/MainMenu.h"
#include "update/Sha512Checksum.h"
#include "viewer/FirmwareUpdateFlow.h"
#include "viewer/MainWindowDelegate.h"
#include "viewer/ViewerUpdater.h"

using namespace kelvo;
using namespace std::chrono_literals;
using device::test::pumpUntil;
using Bed = device::umock::QuadrelUmockdevBed;
using Action = ui::FirmwareUpdateWindow::Action;

namespace {

class SilentAlerts : public app::AlertPresenter {
public:
    bool confirmFactoryReset() override { return false; }
    void showError(const QString &, const QString &) override {}
};

QByteArray imageOfSize(int size)
{
    QByteArray image(size, '\0');
    for (int i = 0; i < size; ++i)
        image[i] = static_cast<char>((i * 13 + i / 251) & 0xFF);
    return image;
}

struct FirmwareFlowUmockdev : ::testing::Test {
    void SetUp() override
    {
        if (!Bed::inMockEnvironment())
            GTEST_SKIP() << "needs umockdev-wrapper";
        ASSERT_TRUE(dir.isValid());
        qputenv("XDG_CACHE_HOME", dir.filePath(QStringLiteral("cache")).toUtf8());
        keeper =
            std::make_unique<Bed>(std::make_shared<device::sim::QuadrelSimulator>(), Bed::Options{9, false, false});
        app::AppServices services;
        services.createDeviceDiscovery = [](device::DeviceLink &link) {
            device::LinuxDeviceDiscovery::Options options;
            options.udisksBusAddress = QStringLiteral("unix:path=/nonexistent/kelvo-test-bus");
            options.attachServerName = QStringLiteral("kelvo-flow-test-%1").arg(QCoreApplication::applicationPid());
            return std::make_unique<device::LinuxDeviceDiscovery>(link, options);
        };
        services.tellLaunchDaemonNotToRestartUs = [] {};
        services.terminate = [this] { ++terminated; };
        services.alerts = std::make_shared<SilentAlerts>();
        services.settingsFilePath = dir.filePath(QStringLiteral("settings.plist"));
        viewer = std::make_unique<app::KelvoViewerAppDelegate>(std::move(services));
        controller().setHIDRescanHandler([](const auto &) {});
        viewer->showVideoWindow();
        window = controller().outlets().firmwareUpdateWindow;
        ASSERT_TRUE(window);
        menusBefore = shutMenus();
        QObject::connect(window->tabView(), &QStackedWidget::currentChanged, window,
                         [this] { pages << window->currentPageIdentifier(); });
    }

    void TearDown() override
    {
        viewer.reset();
        beds.clear();
        keeper.reset();
    }

    viewer::MainWindowDelegate &controller() { return *viewer->appWindowDelegate(); }
    device::DeviceLink &link() { return *viewer->deviceLink(); }

    Bed &plug(int port, bool updateMode, Bed::FirmwareBehaviour behaviour = {}, const char *firmware = "2.0.0")
    {
        Bed::Options options;
        options.port = port;
        options.firmwareUpdateMode = updateMode;
        device::sim::QuadrelIdentity identity;
        identity.deviceFirmwareVersion = firmware;
        beds.push_back(
            std::make_unique<Bed>(std::make_shared<device::sim::QuadrelSimulator>(identity), options, behaviour));
        std::string error;
        EXPECT_TRUE(beds.back()->plugIn(&error)) << error;
        return *beds.back();
    }

    QString writeImage(const QString &path)
    {
        QDir().mkpath(QFileInfo(path).path());
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(image);
        return path;
    }

    // Starts the procedure as the alert's yes does, and notes the first page.
    void startFlow()
    {
        const QString path = writeImage(dir.filePath(QStringLiteral("firmware.bin")));
        ASSERT_TRUE(controller().firmwareUpdateFlow().start({"3.1.0", path, update::sha512ChecksumText(image)}));
        pages << window->currentPageIdentifier();
    }

    // Answers the modal alert with a key as soon as it is up.
    void answerAlert(Qt::Key key)
    {
        auto *poll = new QTimer(window);
        QObject::connect(poll, &QTimer::timeout, poll, [poll, key] {
            QWidget *alert = QApplication::activeModalWidget();
            if (!alert || alert->objectName() != QLatin1String("readyToUpdateAlert"))
                return;
            poll->stop();
            poll->deleteLater();
            QTest::keyClick(alert, key);
        });
        poll->start(20);
    }

    // The menus of the menu bar that are shut, by title.
    QStringList shutMenus() const
    {
        QStringList shut;
        for (QAction *menu : viewer->appWindowDelegate()->mainMenu()->menuBar()->actions())
            if (!menu->isEnabled())
                shut << menu->text();
        return shut;
    }
    bool menusDisabled() const
    {
        const QList<QAction *> menus = viewer->appWindowDelegate()->mainMenu()->menuBar()->actions();
        return !menus.isEmpty() &&
               std::none_of(menus.begin(), menus.end(), [](QAction *menu) { return menu->isEnabled(); });
    }
    bool videoShown() const { return viewer->appWindowDelegate()->videoWindow()->isVisible(); }

    bool pagesBecome(const QStringList &expected)
    {
        return pumpUntil([&] { return pages == expected; }, 15s);
    }

    // The procedure is over: window gone, picture and menus back.
    void expectBackToTheVideo()
    {
        EXPECT_TRUE(pumpUntil([&] { return !window->isVisible(); }, 15s)) << pages.join(',').toStdString();
        EXPECT_TRUE(pumpUntil([&] { return videoShown(); }, 2s));
        EXPECT_EQ(shutMenus(), menusBefore);
        EXPECT_EQ(controller().firmwareUpdateFlow().state(), device::kDeviceReappeared);
        EXPECT_EQ(terminated, 0);
    }

    QByteArray received(const Bed &bed) const
    {
        const auto bytes = bed.receivedImage();
        return QByteArray(reinterpret_cast<const char *>(bytes.data()), static_cast<int>(bytes.size()));
    }

    QTemporaryDir dir;
    QByteArray image = imageOfSize(3000);
    std::unique_ptr<Bed> keeper;
    std::vector<std::unique_ptr<Bed>> beds;
    std::unique_ptr<app::KelvoViewerAppDelegate> viewer;
    ui::FirmwareUpdateWindow *window = nullptr;
    QStringList pages;
    QStringList menusBefore;
    int terminated = 0;
};

} // namespace

TEST_F(FirmwareFlowUmockdev, ReadyAlertStartsTheUpdate)
{
    // The camera runs firmware 2.0.0 and has told the viewer so.
    Bed &camera = plug(1, false);
    viewer->deviceDiscovery()->doHIDRescan();
    ASSERT_TRUE(pumpUntil([&] { return link().gotDeviceFirmwareVersion() && link().gotBootFirmwareVersion(); }, 10s));
    update::SoftwareUpdater &updater = controller().viewerUpdater().updater();
    settings::UpdateBookkeeping b = controller().updateBookkeeping();
    b.deviceFirmwareVersionReadyToInstall = QStringLiteral("3.1.0");
    b.deviceFirmwareDownloadExpectedChecksum = update::sha512ChecksumText(image);
    controller().setUpdateBookkeeping(b);
    writeImage(updater.getDestinationFilenameForVersion(QStringLiteral("3.1.0"), false));

    // Later: nothing changes, the image stays for the next launch.
    answerAlert(Qt::Key_Escape);
    EXPECT_FALSE(updater.checkForNewerFirmwareReadyToInstall());
    EXPECT_FALSE(window->isVisible());
    EXPECT_TRUE(videoShown());
    EXPECT_EQ(shutMenus(), menusBefore);

    // Return takes the default, Install Now.
    answerAlert(Qt::Key_Return);
    ASSERT_TRUE(updater.checkForNewerFirmwareReadyToInstall());
    pages << window->currentPageIdentifier();
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(pages, QStringList{"WaitingForDFU"});
    EXPECT_FALSE(videoShown());
    EXPECT_TRUE(menusDisabled());
    QPushButton *cancel = window->button(QStringLiteral("WaitingForDFU"), Action::Cancel);
    ASSERT_TRUE(cancel);
    EXPECT_TRUE(cancel->isDefault());
    EXPECT_FALSE(window->progressBar()->accessibleName().isEmpty());

    // The user puts the camera into its update mode; it takes the image,
    // restarts and comes back with the new version.
    camera.unplug();
    Bed::FirmwareBehaviour behaviour;
    behaviour.firmwareAfterUpdate = "3.1.0";
    Bed &updating = plug(2, true, behaviour);
    ASSERT_TRUE(pagesBecome({"WaitingForDFU", "InProgress", "WaitingForReboot"})) << pages.join(',').toStdString();
    EXPECT_TRUE(menusDisabled()) << "while the camera restarts";
    expectBackToTheVideo();
    EXPECT_EQ(received(updating), image);
    EXPECT_EQ(window->progressBar()->value(), 68) << "the last block acknowledged: 2048 of 3000 bytes";
}

TEST_F(FirmwareFlowUmockdev, FailureThenCancel)
{
    startFlow();
    Bed &failing = plug(1, true, {-1, 3, -1, {}});
    ASSERT_TRUE(pagesBecome({"WaitingForDFU", "InProgress", "UploadFailed"})) << pages.join(',').toStdString();
    QPushButton *retry = window->button(QStringLiteral("UploadFailed"), Action::Retry);
    ASSERT_TRUE(retry && window->button(QStringLiteral("UploadFailed"), Action::Cancel) &&
                window->button(QStringLiteral("UploadFailed"), Action::Quit));
    EXPECT_TRUE(retry->isDefault());
    EXPECT_EQ(window->button(QStringLiteral("InProgress"), Action::Cancel), nullptr)
        << "the camera is not interrupted while it takes the image";

    // Escape is the page's Cancel: the camera may hold half an image, so
    // the window asks for a reset and stays.
    QTest::keyClick(window, Qt::Key_Escape);
    ASSERT_TRUE(pagesBecome({"WaitingForDFU", "InProgress", "UploadFailed", "PressReset"}));
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(menusDisabled());

    failing.unplug();
    plug(2, false);
    expectBackToTheVideo();
    EXPECT_EQ(pages.size(), 4) << pages.join(',').toStdString();
}

TEST_F(FirmwareFlowUmockdev, FailureThenRetry)
{
    startFlow();
    Bed &failing = plug(1, true, {-1, 3, -1, {}});
    ASSERT_TRUE(pagesBecome({"WaitingForDFU", "InProgress", "UploadFailed"})) << pages.join(',').toStdString();
    QTest::mouseClick(window->button(QStringLiteral("UploadFailed"), Action::Retry), Qt::LeftButton);
    ASSERT_TRUE(pagesBecome({"WaitingForDFU", "InProgress", "UploadFailed", "PressReset"}));

    // The reset camera comes back in camera mode: the window asks for the
    // update mode again, and the next time the camera takes the image.
    failing.unplug();
    Bed &reset = plug(2, false);
    ASSERT_TRUE(pagesBecome({"WaitingForDFU", "InProgress", "UploadFailed", "PressReset", "WaitingForDFU"}))
        << pages.join(',').toStdString();
    reset.unplug();
    Bed::FirmwareBehaviour behaviour;
    behaviour.firmwareAfterUpdate = "3.1.0";
    Bed &updating = plug(3, true, behaviour);
    ASSERT_TRUE(pagesBecome({"WaitingForDFU", "InProgress", "UploadFailed", "PressReset", "WaitingForDFU", "InProgress",
                             "WaitingForReboot"}))
        << pages.join(',').toStdString();
    expectBackToTheVideo();
    EXPECT_EQ(received(updating), image);
    EXPECT_EQ(received(failing).size(), 2048) << "the failed upload stopped at the refused status";
}
