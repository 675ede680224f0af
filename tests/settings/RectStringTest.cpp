#include "settings/RectString.h"
#include "settings/ViewerPreferences.h"

#include <gtest/gtest.h>

#include <limits>

using namespace kelvo::settings;

TEST(SettingsRectString, FormatsShortestDecimalsAndReadsThemBack)
{
    struct Case {
        Rect rect;
        const char *text;
    };
    const Case cases[] = {
        {{50, 528, 400, 322}, "{{50, 528}, {400, 322}}"},
        {{0, 0, 0, 0}, "{{0, 0}, {0, 0}}"},
        {{-0.0, -12.5, 533.25, 0.1}, "{{0, -12.5}, {533.25, 0.1}}"},
        {{1.0 / 3.0, 2, 300, 400}, "{{0.3333333333333333, 2}, {300, 400}}"},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(stringFromRect(c.rect), QString::fromLatin1(c.text));
        EXPECT_EQ(rectFromString(QString::fromLatin1(c.text)), c.rect) << c.text;
    }
}

TEST(SettingsRectString, ParsesLenientlyAndGivesTheZeroRectangleForAnythingMalformed)
{
    struct Case {
        const char *text;
        Rect expected;
    };
    const Rect zero{};
    const Case cases[] = {
        {"{{1,2},{3,4}}", {1, 2, 3, 4}},
        {"  { { 1 , 2 } , { 3 , 4 } }  ", {1, 2, 3, 4}},
        {"{{+1.5e2, -2}, {3., .5}}", {150, -2, 3, 0.5}},
        {"{{10, 20}, {200, 100}}\n", {10, 20, 200, 100}},
        {"", zero},
        {"garbage", zero},
        {"{{1, 2}, {3}}", zero},
        {"{{1, 2}, {3, 4}", zero},
        {"{{1, 2}, {3, 4}}x", zero},
        {"{1, 2, 3, 4}", zero},
        {"{{1; 2}, {3, 4}}", zero},
        {"{{a, 2}, {3, 4}}", zero},
        {"{{1, 2}, {-3, 4}}", zero},
        {"{{1, 2}, {3, -4}}", zero},
        {"{{nan, 2}, {3, 4}}", zero},
        {"{{inf, 2}, {3, 4}}", zero},
        {"{{1e300, 2}, {3, 4}}", zero},
        {"{{0x10, 2}, {3, 4}}", zero},
        {"{{++1, 2}, {3, 4}}", zero},
    };
    for (const Case &c : cases)
        EXPECT_EQ(rectFromString(QString::fromLatin1(c.text)), c.expected) << '"' << c.text << '"';
}

TEST(SettingsWindowFrame, DefaultFrameSits50InFromTheTopLeftOfTheVisibleArea)
{
    const Rect visible{0, 40, 1440, 860};
    const Rect landscape = defaultFrameForPreferences(4.0 / 3.0, visible);
    EXPECT_EQ(landscape, (Rect{50, 40 + 860 - 322 - 50, 400, 322}));
    const Rect portrait = defaultFrameForPreferences(0.75, visible);
    EXPECT_NEAR(portrait.height, 400 / 0.75 + 22, 1e-9);
    EXPECT_NEAR(portrait.y + portrait.height, 40 + 860 - 50, 1e-9); // top edge fixed
    // An unknown picture size must not produce an infinite window.
    for (double unknown :
         {0.0, -1.0, std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity()})
        EXPECT_EQ(defaultFrameForPreferences(unknown, visible), landscape) << unknown;
    EXPECT_EQ(currentVideoAspectRatio(1280, 0), 4.0 / 3.0);
    EXPECT_EQ(currentVideoAspectRatio(720, 1280), 0.5625);
}

TEST(SettingsWindowFrame, SanitisingEnlargesNarrowFramesAndKeepsTheOrigin)
{
    struct Case {
        Rect frame;
        double aspect;
        Rect expected;
    };
    const Case cases[] = {
        {{10, 20, 200, 100}, 4.0 / 3.0, {10, 20, 400, 300}},       {{10, 20, 200, 100}, 3.0 / 4.0, {10, 20, 300, 400}},
        {{10, 20, 400, 10}, 4.0 / 3.0, {10, 20, 400, 10}}, // wide enough: unchanged
        {{10, 20, 300, 10}, 3.0 / 4.0, {10, 20, 300, 10}},         {{10, 20, 399, 300}, 4.0 / 3.0, {10, 20, 400, 300}},
        {{0, 0, 0, 0}, 16.0 / 9.0, {0, 0, 300 * 16.0 / 9.0, 300}}, // an unparsable position
    };
    for (const Case &c : cases) {
        const Rect r = sanitizeFrameFromPreferencesDictionary(c.frame, c.aspect);
        EXPECT_DOUBLE_EQ(r.x, c.expected.x);
        EXPECT_DOUBLE_EQ(r.y, c.expected.y);
        EXPECT_DOUBLE_EQ(r.width, c.expected.width);
        EXPECT_DOUBLE_EQ(r.height, c.expected.height);
    }
}
