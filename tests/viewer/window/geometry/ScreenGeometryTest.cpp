#include "viewer/geometry/ScreenGeometry.h"

#include "settings/RectString.h"

#include <gtest/gtest.h>

#include <ostream>
#include <vector>

namespace kelvo {

// Defined with the window geometry's tests.
std::ostream &operator<<(std::ostream &os, const Rect &r);

namespace viewer::geometry {
namespace {

// A second screen above the primary one pushes the primary screen's top to
// y = 1080 in Qt's coordinates; the y-up origin stays at its lower left.
const QRect kUpperScreen(0, 0, 1920, 1080);
const QRect kPrimaryScreen(0, 1080, 1920, 1080);

TEST(ScreenGeometry, TheLowerLeftOfThePrimaryScreenIsTheOriginWhereverTheOtherScreensLie)
{
    const double flip = screenFlipLine(kPrimaryScreen);
    EXPECT_EQ(fromQtScreenRect(kPrimaryScreen, flip), (Rect{0, 0, 1920, 1080}));
    EXPECT_EQ(fromQtScreenRect(kUpperScreen, flip), (Rect{0, 1080, 1920, 1080}));
    // A window near the top of the primary screen, and one on the screen above.
    EXPECT_EQ(fromQtScreenRect(QRect(100, 1200, 640, 382), flip), (Rect{100, 2160 - 1582, 640, 382}));
    EXPECT_EQ(toQtScreenRect({300, 1500, 640, 382}, flip), QRect(300, 2160 - 1882, 640, 382));
}

TEST(ScreenGeometry, AFrameSavedToTheSettingsComesBackWhereItWas)
{
    const double flip = screenFlipLine(kPrimaryScreen);
    for (const QRect &window : {QRect(100, 1200, 640, 382), QRect(250, 40, 800, 472), QRect(-300, 1900, 534, 322)}) {
        // Window geometry -> settings text -> window geometry.
        const QString saved = settings::stringFromRect(fromQtScreenRect(window, flip));
        EXPECT_EQ(toQtScreenRect(settings::rectFromString(saved), flip), window) << saved.toStdString();
    }
    // A frame computed in points (a fitted height, a docked edge) is rounded
    // once; saving and restoring it again moves it no further.
    const Rect computed{100.4, 578.6, 640.2, 381.7};
    const QRect placed = toQtScreenRect(computed, flip);
    const Rect saved = settings::rectFromString(settings::stringFromRect(fromQtScreenRect(placed, flip)));
    EXPECT_EQ(toQtScreenRect(saved, flip), placed);
    EXPECT_EQ(fromQtScreenRect(toQtScreenRect(saved, flip), flip), saved);
    EXPECT_NEAR(placed.bottom() + 1, flip - computed.y, 0.5);
    EXPECT_NEAR(placed.top(), flip - computed.maxY(), 0.5);
}

// ---- Keeping a frame on a screen ---------------------------------------------------

struct KeepCase {
    const char *name;
    std::vector<Rect> screens; // available areas, primary first
    Rect frame;
    Rect expected;
};

TEST(ScreenGeometry, AFrameIsKeptWhereItsTitleBarCanBeReached)
{
    // 1920 x 1080 with a 25-point panel along its top.
    const Rect primary{0, 0, 1920, 1055};
    // To its right, a 3840 x 2160 screen at 200 %: 1920 x 1080 in Qt's
    // device-independent pixels, which window frames are measured in.
    const Rect scaled{1920, 0, 1920, 1080};
    const double c = kTitleBarHeight;
    // The default frame: 400 wide, 50 in from the visible area's top left.
    const double h = 400 * 9.0 / 16 + c;
    const KeepCase cases[] = {
        {"the default frame", {primary}, {50, 1055 - h - 50, 400, h}, {50, 1055 - h - 50, 400, h}},
        {"on the second screen", {primary, scaled}, {2500, 300, 800, 472}, {2500, 300, 800, 472}},
        {"hanging below the bottom", {primary}, {100, -200, 640, 382}, {100, -200, 640, 382}},
        {"title bar above the top", {primary}, {100, 900, 640, 382}, {100, 1055 - 382, 640, 382}},
        {"saved above every screen", {primary, scaled}, {100, 3000, 640, 382}, {100, 1055 - 382, 640, 382}},
        {"mostly off the left edge", {primary}, {-600, 300, 640, 382}, {100 - 640, 300, 640, 382}},
        {"mostly off the right edge", {primary, scaled}, {3800, 300, 640, 382}, {3840 - 100, 300, 640, 382}},
        {"on a screen that is gone", {primary}, {-1500, 300, 640, 382}, {0, 300, 640, 382}},
        // Larger than any screen: shrunk to the height of the area it
        // overlaps most (the scaled screen), the picture area keeping its
        // square shape, with the title bar at that screen's top.
        {"larger than every screen",
         {primary, scaled},
         {0, 0, 100000, 100000},
         {1920 + 100 - 100000 * 1058.0 / 99978, 0, 100000 * 1058.0 / 99978, 1080}},
        // A 2560 x 1440 picture saved at 100 % on a screen now at 200 %.
        {"a frame from before the scale changed",
         {{0, 0, 1920, 1040}},
         {200, 100, 2560, 1440 + c},
         {200, 0, 2560 * (1018.0 / 1440), 1040}},
    };
    for (const KeepCase &k : cases) {
        SCOPED_TRACE(k.name);
        const Rect kept = frameKeptOnScreen(k.frame, k.screens, c);
        EXPECT_NEAR(kept.x, k.expected.x, 0.01) << kept;
        EXPECT_NEAR(kept.y, k.expected.y, 0.01) << kept;
        EXPECT_NEAR(kept.width, k.expected.width, 0.01) << kept;
        EXPECT_NEAR(kept.height, k.expected.height, 0.01) << kept;
        // Never larger than a screen, the picture's shape kept.
        EXPECT_NEAR(kept.width / (kept.height - c), k.frame.width / (k.frame.height - c), 0.001) << kept;
    }
}

TEST(ScreenGeometry, NothingToKeepWithoutScreensOrWithoutArea)
{
    const Rect screen{0, 0, 1920, 1055};
    EXPECT_EQ(frameKeptOnScreen({5000, 5000, 640, 382}, {}, kTitleBarHeight), (Rect{5000, 5000, 640, 382}));
    EXPECT_EQ(frameKeptOnScreen({5000, 5000, 0, 0}, std::vector<Rect>{screen}, kTitleBarHeight),
              (Rect{5000, 5000, 0, 0}));
}

} // namespace
} // namespace viewer::geometry
} // namespace kelvo
