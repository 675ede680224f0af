// State ranges, geometry, drawing plan and menu state of the reading guides.
#include "guides/FakeLineOverlayDelegate.h"
#include "guides/ReadingGuideModel.h"
#include "guides/RecordingSurface.h"

#include <gtest/gtest.h>

namespace kelvo::guides {
namespace {

void expectRect(const GuideRect &actual, const GuideRect &expected)
{
    EXPECT_DOUBLE_EQ(actual.x, expected.x);
    EXPECT_DOUBLE_EQ(actual.y, expected.y);
    EXPECT_DOUBLE_EQ(actual.width, expected.width);
    EXPECT_DOUBLE_EQ(actual.height, expected.height);
}

struct ReadingGuideTest : ::testing::Test {
    testing::RecordingSurface surface;
    testing::FakeLineOverlayDelegate controller;
    ReadingGuideModel model{&surface};
    ReadingGuideTest()
    {
        model.setMainWindowDelegate(&controller);
        model.initPrivateVars();
        model.setBounds(400, 300);
    }
};

TEST_F(ReadingGuideTest, StartsWithSeparationTwoWidthOneAndNoGuides)
{
    EXPECT_EQ(model.guideSeparation(), 2);
    EXPECT_EQ(model.scrollPosition(), 0);
    EXPECT_EQ(model.lineWidth(), 1u);
    EXPECT_EQ(model.horizontalReadingGuideMode(), kReadingGuideModeNone);
    EXPECT_EQ(model.verticalReadingGuideMode(), kReadingGuideModeNone);
    // The line width went through its setter: the menu already shows it.
    ASSERT_NE(surface.lastMenu.find(401), nullptr);
    EXPECT_EQ(surface.lastMenu.find(401)->checked, true);
}

TEST_F(ReadingGuideTest, EachAxisTurnsTheOtherOff)
{
    model.setHorizontalReadingGuideMode(kReadingGuideModeWindow);
    model.setVerticalReadingGuideMode(kReadingGuideModeLines);
    EXPECT_EQ(model.horizontalReadingGuideMode(), kReadingGuideModeNone);
    model.setHorizontalReadingGuideMode(kReadingGuideModeLines);
    EXPECT_EQ(model.verticalReadingGuideMode(), kReadingGuideModeNone);
    EXPECT_EQ(controller.saves, 0) << "mode setters leave saving to the controller's actions";
}

TEST_F(ReadingGuideTest, SeparationOutsideOneToTwentyIsIgnoredWithoutRedraw)
{
    for (std::int32_t rejected : {0, 21, -1}) {
        const int redraws = surface.redraws;
        EXPECT_FALSE(model.setGuideSeparation(rejected));
        EXPECT_EQ(model.guideSeparation(), 2);
        EXPECT_EQ(surface.redraws, redraws) << rejected;
    }
    for (std::int32_t accepted : {1, 20}) {
        EXPECT_TRUE(model.setGuideSeparation(accepted));
        EXPECT_EQ(model.guideSeparation(), accepted);
    }
}

TEST_F(ReadingGuideTest, ScrollPositionIsClampedByTheSeparationAndSaved)
{
    struct Case {
        std::int32_t separation, requested, stored;
    } cases[] = {{2, 100, 95}, {2, -100, -95}, {2, 95, 95}, {20, 60, 59}, {20, -60, -59}, {20, 7, 7}};
    for (const Case &c : cases) {
        model.setGuideSeparation(c.separation);
        const int saves = controller.saves;
        model.setScrollPosition(c.requested);
        EXPECT_EQ(model.scrollPosition(), c.stored) << c.separation << " " << c.requested;
        EXPECT_EQ(controller.saves, saves + 1);
    }
}

TEST_F(ReadingGuideTest, LineWidthAndItsThicknessInPixels)
{
    EXPECT_FALSE(model.setLineWidth(0));
    EXPECT_FALSE(model.setLineWidth(4));
    EXPECT_EQ(model.lineWidth(), 1u);
    // Taken from the height for both axes, truncated: h/200, h/100, h/50.
    struct Case {
        std::uint64_t width;
        double h;
        int pixels;
    } cases[] = {{1, 300, 1}, {2, 300, 3}, {3, 300, 6}, {1, 199, 0}, {3, 149, 2}};
    for (const Case &c : cases) {
        model.setBounds(1000, c.h);
        ASSERT_TRUE(model.setLineWidth(c.width));
        EXPECT_EQ(model.lineWidthInPixels(), c.pixels) << c.width << " " << c.h;
    }
}

TEST(ReadingGuideZoom, MultiplierFollowsTheOpticalTableThenQuarterSteps)
{
    const double expected[][2] = {{1, 1.0}, {2, 1.19}, {5, 2.0}, {8, 3.2}, {9, 4.0}, {12, 6.4}, {16, 9.6}};
    for (const auto &e : expected)
        EXPECT_DOUBLE_EQ(ReadingGuideModel::zoomMultiplierForZoomLevel(static_cast<int>(e[0])), e[1]) << e[0];
}

TEST_F(ReadingGuideTest, DefaultHorizontalGeometryOn400By300)
{
    const GuideLineGeometry g = model.horizontalLinePointInfo();
    EXPECT_EQ(g.firstLineStart, (GuidePoint{0, 162}));
    EXPECT_EQ(g.firstLineEnd, (GuidePoint{400, 162}));
    EXPECT_EQ(g.secondLineStart, (GuidePoint{0, 138}));
    EXPECT_EQ(g.firstLineHitRect, (GuideRect{0, 156, 400, 12}));
    EXPECT_EQ(g.secondLineHitRect, (GuideRect{0, 132, 400, 12}));
    EXPECT_EQ(model.lineWidthInPixels(), 1);
}

TEST_F(ReadingGuideTest, ScrollMovesHorizontalPairDownAndVerticalPairRight)
{
    model.setScrollPosition(10); // 10 × 300/200 = 15 down, 10 × 400/200 = 20 right
    EXPECT_EQ(model.horizontalLinePointInfo().firstLineStart.y, 162 - 15);
    const GuideLineGeometry v = model.verticalLinePointInfo();
    EXPECT_EQ(v.firstLineStart, (GuidePoint{200 + 20 - 16, 300}));
    EXPECT_EQ(v.secondLineEnd, (GuidePoint{200 + 20 + 16, 0}));
    // Vertical lines are grabbed by their drawn thickness (1 here), not h/50.
    EXPECT_EQ(v.firstLineHitRect, (GuideRect{203, 0, 2, 300}));
}

TEST_F(ReadingGuideTest, LocatorFrameReplacesGuidesWhileLocating)
{
    model.setBounds(800, 600);
    model.setHorizontalReadingGuideMode(kReadingGuideModeLines);
    controller.savedZoom = 5;
    OverlayDrawing d = model.drawing();
    EXPECT_EQ(d.kind, OverlayDrawing::Kind::LocatorFrame);
    EXPECT_EQ(d.color, GuideColor::White);
    EXPECT_EQ(d.locatorFrame, (GuideRect{200, 150, 400, 300}));
    EXPECT_EQ(d.strokeWidth, 3);

    // Full screen on a 1600 × 1000 screen: the 4:3 picture overhangs top and
    // bottom (1600 × 1200), so the frame shrinks to what stays on screen.
    controller.fullScreen = true;
    controller.screenFrame = {0, 0, 1600, 1000};
    controller.videoRect = {0, -100, 1600, 1200};
    expectRect(model.drawing().locatorFrame, {200, 175, 400, 250});
    // On a square screen it overhangs left and right instead.
    controller.screenFrame = {0, 0, 1000, 1000};
    controller.videoRect = {-500, 0, 2000, 1000};
    expectRect(model.drawing().locatorFrame, {300, 150, 200, 300});
    // A degenerate video rectangle leaves the frame uncorrected.
    controller.videoRect = {};
    EXPECT_EQ(model.drawing().locatorFrame, (GuideRect{200, 150, 400, 300}));
}

TEST_F(ReadingGuideTest, ColoursAndMasksByModeAndColourMode)
{
    struct Case {
        bool vertical;
        std::int32_t mode;
        bool inverse;
        OverlayDrawing::Kind kind;
        GuideColor color;
    } cases[] = {
        {false, 1, false, OverlayDrawing::Kind::Lines, GuideColor::Black},
        {false, 1, true, OverlayDrawing::Kind::Lines, GuideColor::White},
        {false, 2, true, OverlayDrawing::Kind::Window, GuideColor::Black},
        {true, 3, false, OverlayDrawing::Kind::Window, GuideColor::Black},
        {true, 1, true, OverlayDrawing::Kind::Lines, GuideColor::White},
    };
    for (const Case &c : cases) {
        controller.inverse = c.inverse;
        c.vertical ? model.setVerticalReadingGuideMode(c.mode) : model.setHorizontalReadingGuideMode(c.mode);
        const OverlayDrawing d = model.drawing();
        EXPECT_EQ(d.kind, c.kind) << c.vertical << c.mode << c.inverse;
        EXPECT_EQ(d.color, c.color) << c.vertical << c.mode << c.inverse;
    }
    // Masks cover everything outside the band: above 162 and below 138...
    model.setHorizontalReadingGuideMode(kReadingGuideModeWindow);
    OverlayDrawing d = model.drawing();
    EXPECT_EQ(d.masks[0], (GuideRect{0, 162, 400, 138}));
    EXPECT_EQ(d.masks[1], (GuideRect{0, 0, 400, 138}));
    // ...or left of 184 and right of 216.
    model.setVerticalReadingGuideMode(kReadingGuideModeWindow);
    d = model.drawing();
    EXPECT_EQ(d.masks[0], (GuideRect{0, 0, 184, 300}));
    EXPECT_EQ(d.masks[1], (GuideRect{216, 0, 400, 300}));
    model.setVerticalReadingGuideMode(kReadingGuideModeNone);
    EXPECT_EQ(model.drawing().kind, OverlayDrawing::Kind::Nothing);
}

} // namespace
} // namespace kelvo::guides
