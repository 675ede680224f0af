#include "app/PreferencesBinding.h"
#include "app/InstallLocation.h"
#include "device/ReportProtocol.h"
#include "settings/SettingsStore.h"
#include "ui/MainMenu.h"
#include "ui/MenuTags.h"
#include "viewer/ViewerRig.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QMenu>
#include <QTableWidget>
#include <QTest>
#include <unistd.h>

using namespace kelvo;
using namespace kelvo::testing;
using Modes = std::vector<std::int64_t>;

namespace {

// The viewer with its preferences window bound as the application binds
// it, the auto-launch agent's re-registration recorded.
struct PreferencesRig : ViewerRig {
    std::vector<bool> autoLaunchReloads;
    app::PreferencesBinding binding{controller, [this](bool wanted) { autoLaunchReloads.push_back(wanted); },
                                    app::InstallLocation::Writable};

    PreferencesRig()
    {
        // The colour list is saved and loaded with a camera's settings.
        controller.setVideoDevices({{QStringLiteral("Quadrel"), QStringLiteral("q"),
                                     QStringLiteral("UVC Camera VendorID_8236 ProductID_130")}},
                                   0);
        controller.loadPreferences();
        controller.preferencesWindow()->setController(&binding);
    }

    ui::PreferencesWindow *window() { return controller.preferencesWindow(); }

    void checkRows(std::initializer_list<int> rows)
    {
        QTableWidget *table = window()->colorTableView();
        QApplication::setActiveWindow(window());
        table->setFocus();
        for (int row : rows) {
            table->setCurrentCell(row, 0);
            QTest::keyClick(table, Qt::Key_Space);
        }
    }
};

} // namespace

TEST(PreferencesBinding, CommittedModesDriveTheCamerasModeButtonAndAreSaved)
{
    PreferencesRig rig;
    rig.controller.showPreferencesWindowForColorSettings();
    ASSERT_TRUE(rig.window()->isVisible());
    rig.checkRows({9, 5});
    rig.window()->autoLaunchCheckbox()->click();
    QTest::keyClick(rig.window()->colorTableView(), Qt::Key_Escape);
    ASSERT_FALSE(rig.window()->isVisible());
    EXPECT_EQ(rig.controller.preferredFilters(), (Modes{0, 5, 9}));
    EXPECT_EQ(rig.autoLaunchReloads, std::vector<bool>{false});

    // The settings file holds the list and the choice.
    settings::SettingsStore saved(rig.settingsDir.filePath(QStringLiteral("settings.plist")));
    const std::optional<settings::PlistValue> list = saved.objectForKey(QStringLiteral("PreferredFilterList"));
    ASSERT_TRUE(list && list->asArray());
    std::vector<std::int64_t> stored;
    for (const settings::PlistValue &value : *list->asArray())
        stored.push_back(value.integerValue());
    EXPECT_EQ(stored, (Modes{0, 5, 9}));
    EXPECT_FALSE(saved.boolValueForKey(QStringLiteral("AppAutomaticallyLaunchesWhenDeviceDetected"), true));

    // The Colour menu's preferred modes were rebuilt from the new list.
    QAction *preferred =
        ui::findMenuItem(rig.controller.mainMenu()->menuBar(), ui::MenuTag::Colour, ui::MenuTag::PreferredColourModes);
    ASSERT_NE(preferred, nullptr);
    QStringList titles;
    for (QAction *item : preferred->menu()->actions())
        titles << item->text();
    EXPECT_EQ(titles, (QStringList{QStringLiteral("Normal"), QStringLiteral("Red on Black"),
                                   QStringLiteral("Black on Green")}));

    std::vector<std::int64_t> seen{rig.controller.currentColorMode()};
    for (int press = 0; press < 3; ++press) {
        rig.camera->sendCode(device::HIDReportModeButton);
        const std::int64_t before = seen.back();
        ASSERT_TRUE(rig.waitFor([&] { return rig.controller.currentColorMode() != before; }));
        seen.push_back(rig.controller.currentColorMode());
    }
    EXPECT_EQ(seen, (Modes{0, 5, 9, 0}));
}

TEST(InstallLocation, APackagedViewerLeavesUpdatesToThePackageManager)
{
    EXPECT_EQ(app::installLocationOf(QStringLiteral("/usr/bin/kelvo-viewer")), app::InstallLocation::SystemPackage);
    EXPECT_EQ(app::applicationFolder(QStringLiteral("/usr/bin/kelvo-viewer")), QStringLiteral("/usr"));
    QTemporaryDir dir;
    const QString installed = dir.filePath(QStringLiteral("Kelvo Viewer.app/bin/kelvo-viewer"));
    QDir().mkpath(QFileInfo(installed).absolutePath());
    EXPECT_EQ(app::applicationFolder(installed),
              QFileInfo(dir.filePath(QStringLiteral("Kelvo Viewer.app"))).canonicalFilePath());
    EXPECT_EQ(app::installLocationOf(installed), app::InstallLocation::Writable);
    if (::geteuid() != 0) {
        QFile::setPermissions(dir.filePath(QStringLiteral("Kelvo Viewer.app")), QFile::ReadOwner | QFile::ExeOwner);
        EXPECT_EQ(app::installLocationOf(installed), app::InstallLocation::ReadOnly);
        QFile::setPermissions(dir.filePath(QStringLiteral("Kelvo Viewer.app")),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
}
