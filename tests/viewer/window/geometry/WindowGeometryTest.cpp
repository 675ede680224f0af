#include "viewer/geometry/WindowGeometry.h"
#include "viewer/geometry/DockingInfo.h"
#include "viewer/geometry/OverlayLayout.h"

#include <gtest/gtest.h>

#include <ostream>

namespace kelvo {

// Shared by this folder's tests, so that a failure prints the rectangle.
std::ostream &operator<<(std::ostream &os, const Rect &r)
{
    return os << "(" << r.x << ", " << r.y << ", " << r.width << ", " << r.height << ")";
}

} // namespace kelvo

namespace kelvo::viewer::geometry {
namespace {

void expectRectNear(const Rect &actual, const Rect &expected, double tolerance = 0.01)
{
    EXPECT_NEAR(actual.x, expected.x, tolerance) << actual;
    EXPECT_NEAR(actual.y, expected.y, tolerance) << actual;
    EXPECT_NEAR(actual.width, expected.width, tolerance) << actual;
    EXPECT_NEAR(actual.height, expected.height, tolerance) << actual;
}

// ---- Fitting the window to the picture ---------------------------------------

struct FitCase {
    const char *name;
    Rect frame;
    Size picture;
    Rect expected;
};

TEST(WindowGeometry, FitsTheHeightToThePictureKeepingWidthAndTopLeft)
{
    const FitCase cases[] = {
        // 640 * 720 / 1280 + 22 = 382; the top edge stays at 800.
        {"landscape 720p", {100, 500, 640, 300}, {1280, 720}, {100, 418, 640, 382}},
        // A portrait picture makes the window taller than wide: 400 * 1280 / 720 + 22.
        {"portrait", {0, 0, 400, 300}, {720, 1280}, {0, 300 - (400.0 * 1280 / 720 + 22), 400, 400.0 * 1280 / 720 + 22}},
        {"already fitted", {10, 20, 480, 382}, {1280, 720}, {10, 20 + 382 - (270 + 22), 480, 292}},
    };
    for (const FitCase &c : cases) {
        SCOPED_TRACE(c.name);
        const auto fitted = frameFittedToPicture(c.frame, c.picture);
        ASSERT_TRUE(fitted.has_value());
        expectRectNear(*fitted, c.expected);
        EXPECT_NEAR(fitted->maxY(), c.frame.maxY(), 1e-9) << "the top edge moved";
    }
}

TEST(WindowGeometry, APictureWithoutSizeLeavesTheFrameAlone)
{
    for (Size picture : {Size{0, 720}, Size{1280, 0}, Size{0, 0}, Size{-4, 3}}) {
        EXPECT_FALSE(frameFittedToPicture({100, 500, 640, 300}, picture).has_value());
        EXPECT_FALSE(frameFittedAfterUserResize({0, 0, 640, 382}, {0, 0, 700, 382}, picture).has_value());
    }
}

TEST(WindowGeometry, MinimumSizeIs300OnThePicturesShorterSide)
{
    struct {
        Size picture;
        Size expected;
    } cases[] = {
        {{1280, 720}, {533.33, 300}},
        {{720, 1280}, {300, 533.33}},
        {{500, 500}, {300, 300}},
        {{0, 720}, {300, 300}},
    };
    for (const auto &c : cases) {
        const Size minimum = minimumWindowSize(c.picture);
        EXPECT_NEAR(minimum.width, c.expected.width, 0.01);
        EXPECT_NEAR(minimum.height, c.expected.height, 0.01);
    }
}

TEST(WindowGeometry, AfterAUserResizeTheSideChangedMoreIsKept)
{
    const Rect before{100, 418, 640, 382};
    // Wider: the width is kept and the height follows (800 * 9 / 16 + 22).
    expectRectNear(*frameFittedAfterUserResize(before, {100, 418, 800, 390}, {1280, 720}),
                   {100, 418 + 390 - 472, 800, 472});
    // Taller: the height is kept and the width follows ((500 - 22) * 16 / 9).
    expectRectNear(*frameFittedAfterUserResize(before, {100, 300, 650, 500}, {1280, 720}),
                   {100, 300, 478.0 * 16 / 9, 500});
}

TEST(WindowGeometry, TurningExchangesThePictureAreaAndPutsTheTitleBarOnTop)
{
    // A 640 x 360 picture under the 22-point bar turns into 360 x 640 under it.
    const Rect turned = rotatedFrame({100, 418, 640, 382}, {640, 360}, kTitleBarHeight);
    expectRectNear(turned, {100, 800 - 662, 360, 662});
    EXPECT_EQ(rotatedFrame(turned, {360, 640}, kTitleBarHeight), (Rect{100, 418, 640, 382}));
}

// ---- Full screen ---------------------------------------------------------------

TEST(WindowGeometry, FullScreenRectangleFillsTheScreenAndIsCutOnTheLongSide)
{
    struct {
        const char *name;
        Rect screen;
        double aspect;
        Rect expected;
    } cases[] = {
        {"4:3 on 1440 x 900", {0, 0, 1440, 900}, 4.0 / 3, {0, -90, 1440, 1080}},
        {"16:9 on 1024 x 768", {0, 0, 1024, 768}, 16.0 / 9, {-170.67, 0, 1365.33, 768}},
        {"16:9 on 1024 x 768 at 1440", {1440, 0, 1024, 768}, 16.0 / 9, {1269.33, 0, 1365.33, 768}},
        {"same shape", {0, 0, 1600, 900}, 16.0 / 9, {0, 0, 1600, 900}},
        {"no picture yet", {0, 0, 1024, 768}, 0, {0, 0, 1024, 768}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        expectRectNear(fullScreenRectForScreen(c.screen, c.aspect), c.expected);
    }
}

// ---- Docking --------------------------------------------------------------------

TEST(Docking, PacksTheFlagsIntoOneByte)
{
    struct {
        DockingFlags flags;
        DockingInfo expected;
    } cases[] = {
        {{}, 0},
        {{.top = true}, 1},
        {{.bottom = true}, 4},
        {{.left = true}, 16},
        {{.right = true}, 64},
        {{.top = true, .left = true}, 17},
        {{.bottom = true, .right = true}, 68},
    };
    for (const auto &c : cases)
        EXPECT_EQ(isDocked(c.flags), c.expected);
}

TEST(Docking, ReadsEachEdgeThroughItsMask)
{
    struct {
        DockingInfo info;
        DockingFlags expected;
    } cases[] = {
        {0, {}},
        {2, {.top = true}},
        {8, {.bottom = true}},
        {32, {.left = true}},
        {128, {.right = true}},
        {17, {.top = true, .left = true}},
        {63, {.top = true, .bottom = true, .left = true}},
        {64, {.right = true}},
    };
    for (const auto &c : cases)
        EXPECT_EQ(dockingFlagsFromInfo(c.info), c.expected) << int(c.info);
}

TEST(Docking, ReDocksRightLeftBottomTopInThatOrder)
{
    EXPECT_EQ(reDockOrder(17), (std::vector{DockEdge::Left, DockEdge::Top}));
    EXPECT_EQ(reDockOrder(255), (std::vector{DockEdge::Right, DockEdge::Left, DockEdge::Bottom, DockEdge::Top}));
    EXPECT_EQ(reDockOrder(68), (std::vector{DockEdge::Right, DockEdge::Bottom}));
    EXPECT_TRUE(reDockOrder(0).empty());
}

TEST(Docking, MovesAgainstTheVisibleAreaWithoutResizing)
{
    // A menu bar of 25 at the top and a dock of 60 at the bottom of 1440 x 900.
    const Rect visible{0, 60, 1440, 815};
    const Rect frame{100, 418, 640, 382};
    struct {
        DockEdge edge;
        Rect expected;
    } cases[] = {
        {DockEdge::Top, {100, 875 - 382, 640, 382}},
        {DockEdge::Bottom, {100, 60, 640, 382}},
        {DockEdge::Left, {0, 418, 640, 382}},
        {DockEdge::Right, {800, 418, 640, 382}},
    };
    for (const auto &c : cases) {
        const Rect docked = dockedFrame(c.edge, frame, visible);
        expectRectNear(docked, c.expected);
        // Docking replaces the opposite edge's flag and keeps the other axis.
        DockingFlags flags{true, true, true, true};
        flags.dock(c.edge);
        EXPECT_EQ(isDocked(flags), (c.edge == DockEdge::Top      ? 1 + 16 + 64
                                    : c.edge == DockEdge::Bottom ? 4 + 16 + 64
                                    : c.edge == DockEdge::Left   ? 1 + 4 + 16
                                                                 : 1 + 4 + 64));
        flags = {};
        flags.dock(c.edge);
        EXPECT_TRUE(frameSitsAtDockedEdges(flags, docked, visible, 0.5));
        EXPECT_FALSE(frameSitsAtDockedEdges(flags, {docked.x + 7, docked.y + 7, 640, 382}, visible, 2));
    }
}

// ---- Overlay layout ---------------------------------------------------------------

TEST(OverlayLayout, OnScreenDisplayAndAboutBoxScaleWithTheWindowWidth)
{
    // k = 1248 / 624 = 2.
    const OverlayLayout layout = overlayLayout({{0, 0, 1248, 724}, {0, 0, 1920, 1080}, false, true, true});
    EXPECT_DOUBLE_EQ(layout.overhangX, 0);
    EXPECT_DOUBLE_EQ(layout.overhangY, 0);
    EXPECT_DOUBLE_EQ(layout.scale, 2);
    expectRectNear(*layout.onScreenDisplay, {100, 100, 300, 524});
    // The box: x = 1248 - 696 - 100.
    expectRectNear(*layout.aboutBox, {452, 100, 696, 524});
    // 524 / 246 > 696 / 348: full width, centred vertically.
    expectRectNear(*layout.aboutBoxView, {452, 100 + (524 - 492) / 2.0, 696, 492});
    expectRectNear(layout.referenceFrame, {0, 0, 1248, 724});
    const OverlayLayout hidden = overlayLayout({{0, 0, 1248, 724}, {0, 0, 1920, 1080}, false, false, false});
    EXPECT_FALSE(hidden.onScreenDisplay.has_value());
    EXPECT_FALSE(hidden.aboutBox.has_value());
}

TEST(OverlayLayout, InFullScreenTheOverhangIsSkippedAndControlsAnchorToTheScreen)
{
    // 16:9 picture on 1024 x 768: the window overhangs 170.67 on each side.
    const Rect screen{0, 0, 1024, 768};
    const Rect window = fullScreenRectForScreen(screen, 16.0 / 9);
    const OverlayLayout layout = overlayLayout({window, screen, true, true, false});
    const double k = window.width / 624;
    EXPECT_NEAR(layout.overhangX, 170.67, 0.01);
    EXPECT_DOUBLE_EQ(layout.overhangY, 0);
    expectRectNear(*layout.onScreenDisplay, {170.67 + 50 * k, 50 * k, 150 * k, 768 - 100 * k});
    expectRectNear(layout.referenceFrame, {170.67, 0, 1024, 768});
}

TEST(OverlayLayout, AboutBoxViewCentresOnTheAxisWithRoomToSpare)
{
    // Wide box: height decides, centred horizontally, keeps the box's y.
    expectRectNear(aboutBoxViewFrame({10, 20, 800, 246}), {10 + (800 - 348) / 2.0, 20, 348, 246});
    // Tall box: width decides, centred vertically, keeps the box's x.
    expectRectNear(aboutBoxViewFrame({10, 20, 174, 400}), {10, 20 + (400 - 123) / 2.0, 174, 123});
    // No room at all: nothing to show rather than a negative size.
    const Rect none = aboutBoxViewFrame({0, 0, -20, -10});
    EXPECT_GE(none.width, 0);
    EXPECT_GE(none.height, 0);
}

TEST(OverlayLayout, ControlsKeepTheirDesignedDistanceToTheirEdges)
{
    const Rect base{20, 30, 100, 40};
    const Rect baseWindow{0, 0, 640, 480};
    for (Rect reference : {Rect{0, 0, 640, 480}, Rect{0, 0, 1280, 960}, Rect{0, 0, 320, 240}})
        expectRectNear(repositionRelativeToFrame(base, baseWindow, reference, false, false), {20, 30, 100, 40});
    expectRectNear(repositionRelativeToFrame(base, baseWindow, {0, 0, 1280, 960}, true, true), {660, 510, 100, 40});
    // Against a full-screen reference that starts at the overhang.
    expectRectNear(repositionRelativeToFrame(base, baseWindow, {170, 0, 1024, 768}, false, true),
                   {170 + 1024 - 620, 30, 100, 40});
}

// ---- The Qt boundary ----------------------------------------------------------------

TEST(WindowGeometry, ConvertsToAndFromQtsTopLeftSystem)
{
    // On a 1080-high primary screen the frame whose top edge is at 800 starts
    // 280 from the top.
    const QtRect qt = toQtRect({100, 418, 640, 382}, 1080);
    EXPECT_EQ(qt, (QtRect{100, 280, 640, 382}));
    EXPECT_EQ(fromQtRect(qt, 1080), (Rect{100, 418, 640, 382}));
    // A second screen above the primary one has negative Qt y and large y-up y.
    EXPECT_EQ(fromQtRect({0, -768, 1024, 768}, 1080), (Rect{0, 1080, 1024, 768}));
}

} // namespace
} // namespace kelvo::viewer::geometry
