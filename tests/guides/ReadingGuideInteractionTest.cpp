// Dragging the guide lines, moving the window, the scroll wheel and the
// rotate gesture, on the reading-guide model.
#include "common/SystemLog.h"
#include "guides/FakeLineOverlayDelegate.h"
#include "guides/ReadingGuideModel.h"
#include "guides/RecordingSurface.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace kelvo::guides {
namespace {

struct GuideInteractionTest : ::testing::Test {
    testing::RecordingSurface surface;
    testing::FakeLineOverlayDelegate controller;
    ReadingGuideModel model{&surface};
    GuideInteractionTest()
    {
        model.setMainWindowDelegate(&controller);
        model.setBounds(400, 500); // separation step 10, scroll step 2.5
    }
};

TEST_F(GuideInteractionTest, DraggingALineMovesWholeSeparationStepsAndKeepsTheRest)
{
    struct Case {
        const char *name;
        std::int32_t startSeparation;
        double pressY;     // y-up, on the line to grab
        std::int32_t mode; // what the press grabs
        double dragY;      // pointer delta, positive downward
        std::int32_t separation;
        double accumY;
    } cases[] = {
        {"upper line up", 2, 270, kMouseDragFirstHorizontalLine, -25, 4, 5},
        {"lower line up", 5, 200, kMouseDragSecondHorizontalLine, -25, 3, -5},
        {"lower line down", 2, 230, kMouseDragSecondHorizontalLine, 31, 5, 1},
        // Past the lower limit the steps are dropped, the remainder stays.
        {"lower line up past 1", 2, 230, kMouseDragSecondHorizontalLine, -25, 1, -5},
    };
    for (const Case &c : cases) {
        model.setDragAccumY(0);
        model.setGuideSeparation(c.startSeparation);
        model.setHorizontalReadingGuideMode(kReadingGuideModeLines);
        const int saves = controller.saves;
        model.mouseDown({100, c.pressY});
        EXPECT_EQ(model.mouseDragMode(), c.mode) << c.name;
        // In small pieces: slow drags add up instead of being lost.
        for (int i = 0; i < 5; ++i)
            model.handleContinuingMouseDragWithDeltaX(1, c.dragY / 5);
        model.mouseUp();
        EXPECT_EQ(model.guideSeparation(), c.separation) << c.name;
        EXPECT_NEAR(model.dragAccumY(), c.accumY, 1e-9) << c.name;
        EXPECT_EQ(model.mouseDragMode(), kMouseDragNone) << c.name;
        EXPECT_EQ(controller.saves, saves + 1) << c.name;
        EXPECT_EQ(model.dragAccumX(), 0) << c.name << ": sideways motion must not shift vertical guides";
    }
    // The remainder stays visible: upper line 5 above its step position.
    model.setGuideSeparation(4);
    model.setDragAccumY(5);
    EXPECT_DOUBLE_EQ(model.horizontalLinePointInfo().firstLineStart.y, 250 + 40 + 5);
    EXPECT_DOUBLE_EQ(model.horizontalLinePointInfo().secondLineStart.y, 250 - 40 - 5);
}

TEST_F(GuideInteractionTest, PressPicksHorizontalFirstThenFirstLineThenWindow)
{
    EXPECT_EQ(model.dragModeForPoint({200, 270}), kMouseDragWindow) << "no guides: every press moves the window";
    model.setHorizontalReadingGuideMode(kReadingGuideModeWindow);
    // Lines 4 apart with grab bands of ±10: where both overlap, the first wins.
    model.setGuideSeparation(1);
    model.setDragAccumY(-8);
    EXPECT_EQ(model.dragModeForPoint({200, 250}), kMouseDragFirstHorizontalLine);
    EXPECT_EQ(model.dragModeForPoint({200, 240}), kMouseDragSecondHorizontalLine);
    EXPECT_EQ(model.dragModeForPoint({200, 100}), kMouseDragWindow);

    // Vertical lines at 184 and 216 on 400 wide, grabbed within ±2 (the drawn
    // thickness of 500/200).
    model.setDragAccumY(0);
    model.setGuideSeparation(2);
    model.setVerticalReadingGuideMode(kReadingGuideModeLines);
    EXPECT_EQ(model.dragModeForPoint({183, 10}), kMouseDragFirstVerticalLine);
    EXPECT_EQ(model.dragModeForPoint({217, 10}), kMouseDragSecondVerticalLine);
    EXPECT_EQ(model.dragModeForPoint({188, 10}), kMouseDragWindow);
}

TEST_F(GuideInteractionTest, WheelAccumulatesWholeScrollSteps)
{
    model.setBounds(400, 400); // scroll step 2
    model.setHorizontalReadingGuideMode(kReadingGuideModeLines);
    const double expectedAccum[] = {1.5, 1.0, 0.5};
    const std::int32_t expectedPosition[] = {0, 1, 2};
    for (int i = 0; i < 3; ++i) {
        model.scrollWheel(0, -1.5, false);
        EXPECT_DOUBLE_EQ(model.scrollAccumY(), expectedAccum[i]) << i;
        EXPECT_EQ(model.scrollPosition(), expectedPosition[i]) << i;
    }
    EXPECT_EQ(controller.saves, 2) << "saved with each whole step only";

    // Natural scrolling reports the opposite sign for the same finger motion.
    model.scrollWheel(0, 4, true);
    EXPECT_EQ(model.scrollPosition(), 4);
    // Vertical guides scroll with the horizontal delta, in steps of w/200.
    model.setVerticalReadingGuideMode(kReadingGuideModeLines);
    model.scrollWheel(-4, -100, false);
    EXPECT_EQ(model.scrollPosition(), 6);
    EXPECT_DOUBLE_EQ(model.scrollAccumX(), 0);

    // Past the clamp the excess is dropped; only the remainder is kept.
    model.setScrollPosition(94);
    model.scrollWheel(-21, 0, false);
    EXPECT_EQ(model.scrollPosition(), 95);
    EXPECT_DOUBLE_EQ(model.scrollAccumX(), 1);

    model.setVerticalReadingGuideMode(kReadingGuideModeNone);
    const int saves = controller.saves;
    model.scrollWheel(-50, -50, false);
    EXPECT_EQ(model.scrollPosition(), 95) << "without guides the wheel does nothing";
    EXPECT_EQ(controller.saves, saves);
}

TEST_F(GuideInteractionTest, RotateGestureDragsTheLineChosenAtItsStart)
{
    ScopedLogCapture log;
    model.setBounds(500, 500); // separation step 10 on both axes
    model.beginGesture();
    EXPECT_EQ(model.mouseDragMode(), kMouseDragSecondVerticalLine) << "no guides: the right vertical line";
    model.rotateWithDegrees(-25); // clockwise widens
    EXPECT_EQ(model.guideSeparation(), 4);
    EXPECT_DOUBLE_EQ(model.dragAccumX(), 5);
    EXPECT_EQ(model.dragAccumY(), 0);
    EXPECT_TRUE(log.contains("Set rotation to -25.000000\n"));
    model.endGesture();
    EXPECT_EQ(model.mouseDragMode(), kMouseDragNone);

    model.setHorizontalReadingGuideMode(kReadingGuideModeLines);
    model.beginGesture();
    EXPECT_EQ(model.mouseDragMode(), kMouseDragFirstHorizontalLine);
    model.rotateWithDegrees(20); // counter-clockwise narrows
    EXPECT_EQ(model.guideSeparation(), 2);
}

TEST_F(GuideInteractionTest, ZeroSizeAndAbsurdDeltasTakeNoSteps)
{
    model.setHorizontalReadingGuideMode(kReadingGuideModeLines);
    model.setMouseDragMode(kMouseDragFirstHorizontalLine);
    model.handleContinuingMouseDragWithDeltaX(0, std::numeric_limits<double>::quiet_NaN());
    model.handleContinuingMouseDragWithDeltaX(std::numeric_limits<double>::infinity(), 0);
    EXPECT_EQ(model.dragAccumX(), 0);
    EXPECT_EQ(model.dragAccumY(), 0);
    // Billions of steps: dropped, not wrapped around into range.
    model.handleContinuingMouseDragWithDeltaX(0, -1e300);
    EXPECT_EQ(model.guideSeparation(), 2);
    EXPECT_TRUE(std::isfinite(model.dragAccumY()));
    model.scrollWheel(0, -1e300, false);
    EXPECT_EQ(model.scrollPosition(), 95);

    model.setBounds(0, 0);
    model.setDragAccumY(0);
    EXPECT_EQ(model.horizontalLinePointInfo().firstLineHitRect, (GuideRect{0, 0, 0, 0}));
    model.handleContinuingMouseDragWithDeltaX(0, -25);
    model.setScrollPosition(0);
    model.scrollWheel(0, -25, false);
    EXPECT_EQ(model.guideSeparation(), 2);
    EXPECT_EQ(model.scrollPosition(), 0);
    EXPECT_EQ(model.drawing().strokeWidth, 0);
}

} // namespace
} // namespace kelvo::guides
