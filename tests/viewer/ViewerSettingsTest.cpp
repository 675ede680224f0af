#include "ViewerRig.h"

#include "settings/PlistValue.h"
#include "ui/LineOverlayView.h"

using namespace kelvo;
using namespace kelvo::testing;

namespace {

const viewer::MenuDevice kQuadrel{QStringLiteral("Quadrel"), QStringLiteral("usb-0000:00:14.0-1:QD123"),
                                  QStringLiteral("UVC Camera VendorID_8236 ProductID_130")};

// Selects the camera and loads its record, as choosing it as video device does.
void selectCamera(ViewerRig &rig)
{
    rig.controller.setVideoDevices({kQuadrel}, 0);
    rig.controller.loadPreferences();
}

} // namespace

TEST(ViewerSettings, EachHeadPositionKeepsItsOwnGuidesAndColours)
{
    ViewerRig rig;
    selectCamera(rig);
    rig.controller.setPreferredFilters({3, 7});
    rig.controller.setChosenNonPreferredColorMode(7);
    rig.controller.toggleHorizontalReadingGuidesMode(); // Lines
    rig.controller.setColorBalanceMode(2);

    rig.controller.setQuadrelPhysicalOrientation(1);
    EXPECT_EQ(rig.controller.currentColorMode(), 0);
    EXPECT_EQ(rig.controller.lineOverlayView()->horizontalReadingGuideMode(), 0);
    rig.controller.toggleVerticalReadingGuidesMode();
    rig.controller.toggleVerticalReadingGuidesMode(); // Window
    rig.controller.setColorBalanceMode(1);

    rig.sent();
    rig.controller.setQuadrelPhysicalOrientation(0);
    EXPECT_EQ(rig.controller.currentColorMode(), 7);
    EXPECT_EQ(rig.controller.lineOverlayView()->horizontalReadingGuideMode(), 1);
    EXPECT_EQ(rig.controller.lineOverlayView()->verticalReadingGuideMode(), 0);
    EXPECT_EQ(rig.controller.colorBalanceMode(), 2);
    // Loading sends the record's balance and zoom to the camera.
    const Wire wire = rig.sent();
    EXPECT_NE(std::find(wire.begin(), wire.end(), bytes({0xCA})), wire.end());

    const std::optional<settings::PlistValue> document =
        rig.controller.settingsStore().objectForKey(QStringLiteral("0:") + kQuadrel.uniqueID);
    const std::optional<settings::PlistValue> far =
        rig.controller.settingsStore().objectForKey(QStringLiteral("1:") + kQuadrel.uniqueID);
    ASSERT_TRUE(document.has_value());
    ASSERT_TRUE(far.has_value());
    EXPECT_NE(*document, *far);
}

TEST(ViewerSettings, StateSurvivesARestartWithTheSameCamera)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("settings.plist"));
    {
        viewer::MainWindowDelegate controller(path);
        controller.loadInterface();
        controller.setVideoDevices({kQuadrel}, 0);
        controller.loadPreferences();
        controller.toggleVerticalReadingGuidesMode();
        controller.toggleVerticalReadingGuidesMode();
        controller.setColorBalanceMode(2);
        controller.setZoomLevel(11);
    }
    viewer::MainWindowDelegate controller(path);
    controller.loadInterface();
    controller.setVideoDevices({kQuadrel}, 0);
    controller.loadPreferences();
    EXPECT_EQ(controller.lineOverlayView()->verticalReadingGuideMode(), 2);
    EXPECT_EQ(controller.colorBalanceMode(), 2);
    EXPECT_EQ(controller.zoomLevel(), 11);
    EXPECT_NEAR(controller.digitalZoomLevel(), 1.99, 1e-12);
}

TEST(ViewerSettings, FactoryResetReturnsToTheDefaults)
{
    ViewerRig rig;
    selectCamera(rig);
    rig.controller.setColorBalanceMode(1);
    rig.controller.setZoomLevel(5);
    rig.controller.factoryReset();
    EXPECT_EQ(rig.controller.colorBalanceMode(), 0);
    EXPECT_EQ(rig.controller.zoomLevel(), 1);
    EXPECT_EQ(rig.controller.dockingInfo(), 0);
}
