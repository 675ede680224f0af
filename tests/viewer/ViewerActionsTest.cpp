#include "ViewerRig.h"

#include "common/SystemLog.h"
#include "ui/LineOverlayView.h"
#include "ui/MainMenu.h"
#include "ui/MenuTags.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>

using namespace kelvo;
using namespace kelvo::testing;

namespace {

QAction *item(viewer::MainWindowDelegate &c, int menu, int tag)
{
    return ui::findMenuItem(c.mainMenu()->menuBar(), menu, tag);
}

} // namespace

TEST(ViewerZoom, ZoomInAtSixteenStaysAndSendsTheLongestStepAgain)
{
    ViewerRig rig;
    rig.controller.setZoomLevel(16);
    rig.sent();
    ScopedLogCapture log;
    rig.controller.zoomCameraIn();
    EXPECT_EQ(rig.controller.zoomLevel(), 16);
    EXPECT_TRUE(log.contains("At max zoom.\n"));
    EXPECT_DOUBLE_EQ(rig.controller.digitalZoomLevel(), 1.0 + 8 * 0.33);
    EXPECT_EQ(rig.sent(), Wire{zoomReport(8)});
}

TEST(ViewerZoom, ZoomOutAtOneStaysAndSendsTheWidestStepAgain)
{
    ViewerRig rig;
    ScopedLogCapture log;
    rig.controller.zoomCameraOut();
    EXPECT_EQ(rig.controller.zoomLevel(), 1);
    EXPECT_TRUE(log.contains("At min zoom.\n"));
    EXPECT_TRUE(log.contains("Zoom level now 1\n"));
    EXPECT_EQ(rig.sent(), Wire{zoomReport(1)});
}

TEST(ViewerZoom, PastEightTheLensStaysAndTheDigitalZoomGrows)
{
    ViewerRig rig;
    rig.controller.setZoomLevel(8);
    EXPECT_EQ(rig.sent(), Wire{zoomReport(8)});
    rig.controller.zoomCameraIn();
    EXPECT_EQ(rig.controller.zoomLevel(), 9);
    EXPECT_NEAR(rig.controller.digitalZoomLevel(), 1.33, 1e-12);
    EXPECT_EQ(rig.sent(), Wire{zoomReport(8)});
    rig.controller.zoomCameraOut();
    EXPECT_DOUBLE_EQ(rig.controller.digitalZoomLevel(), 1.0);
    EXPECT_EQ(rig.sent(), Wire{zoomReport(8)});
    // Every optical level sends its own step.
    for (int level = 1; level <= 8; ++level) {
        rig.controller.setZoomLevel(level);
        EXPECT_EQ(rig.sent(), Wire{zoomReport(level)}) << level;
    }
}

TEST(ViewerZoom, DigitalZoomOutsideItsRangeIsIgnored)
{
    ViewerRig rig;
    rig.controller.setDigitalZoomLevel(2.5);
    rig.controller.setDigitalZoomLevel(5.01);
    rig.controller.setDigitalZoomLevel(0.99);
    EXPECT_DOUBLE_EQ(rig.controller.digitalZoomLevel(), 2.5);
    rig.controller.setDigitalZoomLevel(5.0);
    EXPECT_DOUBLE_EQ(rig.controller.digitalZoomLevel(), 5.0);
}

TEST(ViewerLocate, FindAtLevelOneDoesNothingAndNeitherDoesItsRelease)
{
    ViewerRig rig;
    rig.controller.findZoomPositionEnter();
    rig.controller.findZoomPositionExit();
    EXPECT_EQ(rig.controller.savedZoomLevel(), 0);
    EXPECT_EQ(rig.controller.zoomLevel(), 1);
    EXPECT_TRUE(rig.sent().empty());
}

TEST(ViewerLocate, FindShowsTheWholePictureAndReleaseReturns)
{
    ViewerRig rig;
    rig.controller.setZoomLevel(12);
    rig.sent();
    ScopedLogCapture log;
    rig.controller.findZoomPositionEnter();
    EXPECT_EQ(rig.controller.savedZoomLevel(), 12);
    EXPECT_EQ(rig.controller.zoomLevel(), 1);
    EXPECT_TRUE(log.contains("Setting saved zoom level to 12, zoom level to 1\n"));
    EXPECT_EQ(rig.sent(), Wire{zoomReport(1)});
    rig.controller.findZoomPositionExit();
    EXPECT_EQ(rig.controller.zoomLevel(), 12);
    EXPECT_EQ(rig.controller.savedZoomLevel(), 0);
    EXPECT_TRUE(log.contains("Restoring zoom level to 12, clearing saved zoom level\n"));
    EXPECT_EQ(rig.sent(), Wire{zoomReport(8)});
}

TEST(ViewerLocate, ZoomingWhileLocatingEndsLocatingAtTheNewLevel)
{
    ViewerRig rig;
    rig.controller.setZoomLevel(12);
    rig.controller.findZoomPositionEnter();
    rig.controller.zoomCameraIn();
    rig.controller.findZoomPositionExit();
    EXPECT_EQ(rig.controller.zoomLevel(), 2);
    EXPECT_EQ(rig.controller.savedZoomLevel(), 0);
    // The queue keeps only the newest zoom of a batch.
    EXPECT_EQ(rig.sent().back(), zoomReport(2));
}

TEST(ViewerPinch, AccumulatesPastSixteenAndComesBackOnlyOverTheExcess)
{
    ViewerRig rig;
    rig.controller.setZoomLevel(10);
    rig.controller.beginGesture();
    EXPECT_DOUBLE_EQ(rig.controller.zoomAccum(), 10);
    rig.controller.magnify(10.0 / 3.0); // +10 levels
    EXPECT_EQ(rig.controller.zoomLevel(), 16);
    EXPECT_NEAR(rig.controller.zoomAccum(), 20, 1e-9);
    rig.controller.magnify(-1.0); // accum 17: rounds to 17, still clamped to 16
    EXPECT_EQ(rig.controller.zoomLevel(), 16);
    rig.controller.magnify(-0.5); // accum 15.5 rounds away from zero to 16
    EXPECT_EQ(rig.controller.zoomLevel(), 16);
    rig.controller.magnify(-0.2); // accum 14.9 → 15
    EXPECT_EQ(rig.controller.zoomLevel(), 15);
    rig.controller.endGesture();
    EXPECT_DOUBLE_EQ(rig.controller.zoomAccum(), 15);
}

TEST(ViewerFreeze, FreezeSendsEveryTimeButChangesStateOnce)
{
    ViewerRig rig;
    ScopedLogCapture log;
    rig.controller.freezeFrame();
    EXPECT_TRUE(rig.controller.isFrozen());
    EXPECT_TRUE(rig.controller.waitingToFreeze());
    EXPECT_TRUE(item(rig.controller, 42, 32)->isChecked());
    rig.controller.freezeFrame();
    EXPECT_EQ(log.count("Setting isFrozen to YES\n"), 1);
    EXPECT_EQ(log.count("Sending freeze command\n"), 2);
    const Wire freeze = {bytes({0xCC}), bytes({0xB1, 0x01, 0x03})};
    Wire twice = freeze;
    twice.insert(twice.end(), freeze.begin(), freeze.end());
    EXPECT_EQ(rig.sent(), twice);

    rig.controller.freezeThaw();
    EXPECT_FALSE(rig.controller.isFrozen());
    EXPECT_FALSE(rig.controller.waitingToFreeze());
    EXPECT_FALSE(item(rig.controller, 42, 32)->isChecked());
    EXPECT_TRUE(log.contains("Reached end\n"));
    EXPECT_EQ(rig.sent(), (Wire{bytes({0xCD}), bytes({0xB1, 0x01, 0x01})}));
}

TEST(ViewerFreeze, SaveWhileLiveFreezesAndAsksToUnfreezeAfterwards)
{
    ViewerRig rig;
    rig.controller.saveFreezeFrame();
    EXPECT_TRUE(rig.controller.isFrozen());
    EXPECT_TRUE(rig.controller.waitingToSave());
    EXPECT_TRUE(rig.controller.unfreezeWhenSaved());
    // Pressed again while the freeze is pending: still one save, no thaw.
    rig.controller.saveFreezeFrame();
    EXPECT_TRUE(rig.controller.isFrozen());
    EXPECT_TRUE(rig.controller.unfreezeWhenSaved());
}

TEST(ViewerRefusals, WithoutACameraCommandsAreRefusedButTheStateChangesAnyway)
{
    ViewerRig rig(false);
    ScopedLogCapture log;
    rig.controller.setZoomLevel(3);
    rig.controller.toggleLight();
    rig.controller.freezeFrame();
    rig.controller.setColorBalanceMode(2);
    EXPECT_EQ(rig.controller.zoomLevel(), 3);
    EXPECT_TRUE(rig.controller.lightIsOn());
    EXPECT_TRUE(rig.controller.isFrozen());
    EXPECT_EQ(rig.controller.colorBalanceMode(), 2);
    // Queued commands count as sent; nothing reached a camera.
    EXPECT_TRUE(rig.sent().empty());
}

TEST(ViewerLight, ToggleFlipsTheStateAndSendsTheToggleCommand)
{
    ViewerRig rig;
    // Power-up turned the light state on.
    ASSERT_TRUE(rig.controller.lightIsOn());
    rig.controller.toggleLight();
    EXPECT_FALSE(rig.controller.lightIsOn());
    EXPECT_FALSE(item(rig.controller, 42, 888)->isChecked());
    EXPECT_EQ(rig.sent(), Wire{bytes({0x96})});
}

TEST(ViewerColourBalance, MenuTagsChooseTheCommandAndUnknownModesChangeNothing)
{
    ViewerRig rig;
    const struct {
        int tag;
        int command;
    } cases[] = {{701, 0xC9}, {702, 0xCA}, {700, 0xC8}};
    for (const auto &c : cases) {
        rig.controller.setColorBalance(item(rig.controller, 42, 13150405)->menu()->actions().at(c.tag - 700));
        EXPECT_EQ(rig.controller.colorBalanceMode(), c.tag - 700);
        EXPECT_EQ(rig.sent(), Wire{bytes({c.command})});
        for (int tag = 700; tag <= 702; ++tag)
            EXPECT_EQ(ui::findItemInMenu(item(rig.controller, 42, 13150405)->menu(), tag)->isChecked(), tag == c.tag);
    }
    ScopedLogCapture log;
    rig.controller.setColorBalanceMode(3);
    EXPECT_TRUE(log.contains("Unknown color mode.\n"));
    EXPECT_EQ(rig.controller.colorBalanceMode(), 0);
    EXPECT_TRUE(rig.sent().empty());
}

TEST(ViewerCommands, ArbitraryCommandsComeFromTheInternalMenuTags)
{
    ViewerRig rig;
    QAction *internal = ui::findTopLevelItem(rig.controller.mainMenu()->menuBar(), -101);
    rig.controller.sendHidCommand(ui::findItemInMenu(internal->menu(), 8));
    EXPECT_EQ(rig.sent(), Wire{bytes({0xC5})});
}

TEST(ViewerColour, ModeButtonCyclesThePreferredListAndBeepsWhenItIsEmpty)
{
    ViewerRig rig;
    rig.controller.setPreferredFilters({0, 5, 9});
    rig.controller.setChosenNonPreferredColorMode(12);
    ASSERT_EQ(rig.controller.chosenPreferredColorMode(), -1);
    rig.controller.nextColorMode();
    EXPECT_EQ(rig.controller.chosenPreferredColorMode(), 0);
    EXPECT_EQ(rig.controller.currentColorMode(), 0);
    rig.controller.setChosenPreferredColorMode(2);
    rig.controller.nextColorMode();
    EXPECT_EQ(rig.controller.chosenPreferredColorMode(), 0);

    ViewerRig empty;
    empty.controller.setPreferredFilters({});
    const auto before = empty.controller.chosenPreferredColorMode();
    empty.controller.nextColorMode();
    EXPECT_EQ(empty.controller.chosenPreferredColorMode(), before);
}

TEST(ViewerColour, ChoosingAPreferredModeFromTheFullListContinuesTheCycleFromIt)
{
    ViewerRig rig;
    rig.controller.setPreferredFilters({0, 5, 9});
    rig.controller.setColorModeFromTag(9);
    EXPECT_EQ(rig.controller.chosenNonPreferredColorMode(), 9);
    EXPECT_EQ(rig.controller.chosenPreferredColorMode(), 2);
    rig.controller.nextColorMode();
    EXPECT_EQ(rig.controller.chosenPreferredColorMode(), 0);
    EXPECT_EQ(rig.controller.currentColorMode(), 0);
    rig.controller.setColorModeFromTag(1001);
    EXPECT_EQ(rig.controller.currentColorMode(), 5);
}

TEST(ViewerColour, OutOfRangeChoicesAreIgnored)
{
    ViewerRig rig;
    rig.controller.setPreferredFilters({0, 5, 9});
    rig.controller.setChosenNonPreferredColorMode(4);
    for (std::uint64_t mode : {std::uint64_t(31), static_cast<std::uint64_t>(-1)}) {
        rig.controller.setChosenNonPreferredColorMode(mode);
        EXPECT_EQ(rig.controller.chosenNonPreferredColorMode(), 4);
        EXPECT_EQ(rig.controller.chosenPreferredColorMode(), -1);
    }
    rig.controller.setChosenPreferredColorMode(3);
    rig.controller.setChosenPreferredColorMode(-2);
    EXPECT_EQ(rig.controller.chosenPreferredColorMode(), -1);
    // A preferred index with an empty list falls back to Normal.
    rig.controller.setPreferredFilters({});
    rig.controller.setChosenPreferredColorMode(1);
    EXPECT_EQ(rig.controller.chosenNonPreferredColorMode(), 0);
}

TEST(ViewerOrientation, RotationCyclesOneFourTwoThreeOnceTheConnectionAllowsIt)
{
    ViewerRig rig;
    ScopedLogCapture log;
    rig.controller.rotateWindowUIAction();
    EXPECT_TRUE(log.contains("Orientation not supported\n"));
    EXPECT_EQ(rig.controller.videoOrientation(), 1);

    rig.controller.setPreviewConnection(true, true, true);
    std::vector<int> seen;
    for (int i = 0; i < 4; ++i) {
        rig.controller.rotateWindowUIAction();
        seen.push_back(rig.controller.videoOrientation());
    }
    EXPECT_EQ(seen, (std::vector<int>{4, 2, 3, 1}));
    EXPECT_TRUE(log.contains("New orientation: 4\n"));
    rig.controller.setVideoOrientation(7);
    rig.controller.rotateWindowUIAction();
    EXPECT_EQ(rig.controller.videoOrientation(), 1);
}

TEST(ViewerOrientation, MirroringFollowsWhatTheConnectionSupports)
{
    ViewerRig rig;
    rig.controller.mirrorScreenUIAction(); // no connection yet: just stored
    EXPECT_TRUE(rig.controller.isMirrored());
    EXPECT_TRUE(item(rig.controller, 42, 20105)->isChecked());

    rig.controller.setPreviewConnection(true, true, false);
    ScopedLogCapture log;
    rig.controller.setIsMirrored(true);
    EXPECT_TRUE(log.contains("Mirroring not supported\n"));
    EXPECT_FALSE(rig.controller.isMirrored());
    EXPECT_FALSE(item(rig.controller, 42, 20105)->isChecked());

    rig.controller.setPreviewConnection(true, true, true);
    rig.controller.mirrorScreenUIAction();
    EXPECT_TRUE(log.contains("Mirroring changed to ON.\n"));
    EXPECT_TRUE(rig.controller.isMirrored());
}

TEST(ViewerHeadPosition, FarAndSelfStartInNormalColour)
{
    ViewerRig rig;
    rig.controller.setPreferredFilters({3, 7});
    rig.controller.setChosenNonPreferredColorMode(7);
    rig.controller.setQuadrelPhysicalOrientation(1);
    EXPECT_EQ(rig.controller.quadrelPhysicalOrientation(), 1);
    EXPECT_EQ(rig.controller.currentColorMode(), 0);
    EXPECT_EQ(rig.controller.chosenPreferredColorMode(), -1);
}

TEST(ViewerGuides, ZoomDialTogglesNeverLeaveBothFlagsSet)
{
    ViewerRig rig;
    // With no guides shown the overlay clears both flags.
    rig.controller.toggleZoomGuideSpacingMode();
    EXPECT_FALSE(rig.controller.zoomChangesGuideSpacing());
    rig.controller.toggleHorizontalReadingGuidesMode();
    rig.controller.toggleZoomGuideSpacingMode();
    EXPECT_TRUE(rig.controller.zoomChangesGuideSpacing());
    rig.controller.toggleZoomGuidePositionMode();
    EXPECT_TRUE(rig.controller.zoomScrollsGuides());
    EXPECT_FALSE(rig.controller.zoomChangesGuideSpacing());
    rig.controller.toggleZoomGuideSpacingMode();
    EXPECT_FALSE(rig.controller.zoomScrollsGuides());
    EXPECT_TRUE(rig.controller.zoomChangesGuideSpacing());
}

TEST(ViewerGuides, GuideActionsReachTheOverlay)
{
    ViewerRig rig;
    ui::LineOverlayView *overlay = rig.controller.lineOverlayView();
    ASSERT_NE(overlay, nullptr);
    rig.controller.toggleHorizontalReadingGuidesMode();
    EXPECT_EQ(overlay->horizontalReadingGuideMode(), 1);
    rig.controller.toggleHorizontalReadingGuidesMode();
    EXPECT_EQ(overlay->horizontalReadingGuideMode(), 2);
    rig.controller.toggleVerticalReadingGuidesMode();
    EXPECT_EQ(overlay->verticalReadingGuideMode(), 1);
    EXPECT_EQ(overlay->horizontalReadingGuideMode(), 0);
    const int separation = overlay->guideSeparation();
    rig.controller.increaseLineSeparation();
    EXPECT_EQ(overlay->guideSeparation(), separation + 1);
    rig.controller.setLineWidth(ui::findItemInMenu(item(rig.controller, 300, 303)->menu(), 403));
    EXPECT_EQ(overlay->lineWidth(), 3u);
}

TEST(ViewerIndicators, BatteryDemonstrationShowsThreeThenZeroThenOne)
{
    ViewerRig rig;
    std::vector<int> levels;
    for (int i = 0; i < 3; ++i) {
        rig.controller.showHideBatteryLevel();
        ASSERT_TRUE(rig.controller.batteryLevelIndicatorShown());
        levels.push_back(rig.controller.batteryLevel());
        rig.controller.showHideBatteryLevel();
        EXPECT_FALSE(rig.controller.batteryLevelIndicatorShown());
    }
    EXPECT_EQ(levels, (std::vector<int>{3, 0, 1}));
}
