#include "StillTestSupport.h"

#include "common/SystemLog.h"
#include "video/FrameConversion.h"
#include "video/FreezeFrameConversion.h"

#include <gtest/gtest.h>

using namespace kelvo::video;
using kelvo::video::test::TestFrame;

namespace {

constexpr double kPackedK = -0.65;

TEST(FreezeFrameConversion, PackedPairConvertsWithRaisedLumaTruncatedAndClamped)
{
    TestFrame t = TestFrame::uyvy(2, 1);
    t.fillPackedRow(0, 128, 16, 128, 235);
    const FreezeFrameImage picture = convertFreezeFrame(t.frame, false);
    ASSERT_FALSE(picture.isNull());
    EXPECT_EQ(picture.width, 2);
    EXPECT_EQ(picture.height, 1);
    EXPECT_EQ(picture.bytesPerRow(), 6u);
    EXPECT_EQ(picture.pixel(0, 0), (Rgb8{12, 12, 12}));
    EXPECT_EQ(picture.pixel(1, 0), (Rgb8{255, 255, 255}));
}

TEST(FreezeFrameConversion, BiPlanarPixelsByRange)
{
    struct Case {
        ColourRange range;
        std::uint8_t y, cb, cr;
        Rgb8 expected;
    };
    const Case cases[] = {
        {ColourRange::Full, 128, 128, 128, {130, 130, 130}},
        {ColourRange::Video, 128, 128, 128, {111, 111, 111}},
        {ColourRange::Full, 128, 64, 192, {232, 103, 1}},
        {ColourRange::Video, 128, 64, 192, {213, 84, 0}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << "range " << int(c.range) << " cb " << int(c.cb));
        TestFrame t = TestFrame::nv12(4, 2, c.range);
        std::fill(t.luma.begin(), t.luma.end(), c.y);
        for (std::size_t i = 0; i < t.chroma.size(); i += 2) {
            t.chroma[i] = c.cb;
            t.chroma[i + 1] = c.cr;
        }
        for (bool deinterlace : {false, true}) {
            const FreezeFrameImage picture = convertFreezeFrame(t.frame, deinterlace);
            ASSERT_FALSE(picture.isNull());
            for (int y = 0; y < 2; ++y) {
                for (int x = 0; x < 4; ++x) {
                    EXPECT_EQ(picture.pixel(x, y), c.expected) << x << "," << y;
                }
            }
        }
    }
}

TEST(FreezeFrameConversion, BiPlanarFrameIsNeverDeinterlaced)
{
    TestFrame t = TestFrame::nv12(2, 4, ColourRange::Video);
    const std::uint8_t rows[4] = {40, 200, 80, 210};
    for (int y = 0; y < 4; ++y) {
        std::fill_n(t.luma.begin() + 2 * y, 2, rows[y]);
    }
    const FreezeFrameImage picture = convertFreezeFrame(t.frame, true);
    ASSERT_FALSE(picture.isNull());
    for (int y = 0; y < 4; ++y) {
        EXPECT_EQ(picture.pixel(1, y), convertYCbCrPixel(rows[y], 128, 128, 1.0)) << "row " << y;
    }
}

// Rows 0 and 2 carry the even field, rows 1 and 3 an odd field that
// deinterlacing discards. The luma sums are odd, so rounding shows.
TEST(FreezeFrameConversion, DeinterlacingKeepsEvenRowsAveragesOddRowsAndRepeatsTheLast)
{
    TestFrame t = TestFrame::uyvy(4, 4, 20); // stride with padding after the pairs
    t.fillPackedRow(0, 100, 16, 150, 235);
    t.fillPackedRow(1, 20, 200, 20, 200);
    t.fillPackedRow(2, 131, 235, 171, 16);
    t.fillPackedRow(3, 240, 60, 240, 60);

    const FreezeFrameImage picture = convertFreezeFrame(t.frame, true);
    ASSERT_FALSE(picture.isNull());
    ASSERT_EQ(picture.height, 4);
    const Rgb8 row0[2] = {convertYCbCrPixel(16, 100, 150, kPackedK), convertYCbCrPixel(235, 100, 150, kPackedK)};
    const Rgb8 row2[2] = {convertYCbCrPixel(235, 131, 171, kPackedK), convertYCbCrPixel(16, 131, 171, kPackedK)};
    // (16 + 235) >> 1 = 125, (100 + 131) >> 1 = 115, (150 + 171) >> 1 = 160.
    const Rgb8 row1[2] = {convertYCbCrPixel(125, 115, 160, kPackedK), convertYCbCrPixel(125, 115, 160, kPackedK)};
    ASSERT_NE(convertYCbCrPixel(125, 115, 160, kPackedK), convertYCbCrPixel(126, 116, 161, kPackedK));
    for (int x = 0; x < 4; ++x) {
        SCOPED_TRACE(x);
        EXPECT_EQ(picture.pixel(x, 0), row0[x % 2]);
        EXPECT_EQ(picture.pixel(x, 1), row1[x % 2]);
        EXPECT_EQ(picture.pixel(x, 2), row2[x % 2]);
        EXPECT_EQ(picture.pixel(x, 3), row2[x % 2]);
    }

    // Without deinterlacing every row is its own.
    const FreezeFrameImage plain = convertFreezeFrame(t.frame, false);
    EXPECT_EQ(plain.pixel(0, 1), convertYCbCrPixel(200, 20, 20, kPackedK));
    EXPECT_EQ(plain.pixel(0, 3), convertYCbCrPixel(60, 240, 240, kPackedK));
}

TEST(FreezeFrameConversion, DeinterlacingOddHeightsRepeatTheRowAboveOnlyAtTheBottom)
{
    for (int height : {1, 2, 3, 5, 6, 7}) {
        SCOPED_TRACE(height);
        TestFrame t = TestFrame::uyvy(2, height);
        for (int y = 0; y < height; ++y) {
            const auto luma = std::uint8_t(20 + 30 * y);
            t.fillPackedRow(y, 128, luma, 128, luma);
        }
        const FreezeFrameImage picture = convertFreezeFrame(t.frame, true);
        ASSERT_EQ(picture.height, height);
        for (int r = 0; r < height; ++r) {
            int luma = 20 + 30 * r;
            if (r % 2 != 0) {
                luma = r < height - 2 ? ((20 + 30 * (r - 1)) + (20 + 30 * (r + 1))) >> 1 : 20 + 30 * (r - 1);
            }
            EXPECT_EQ(picture.pixel(1, r), convertYCbCrPixel(luma, 128, 128, kPackedK)) << "row " << r;
        }
    }
}

TEST(FreezeFrameConversion, OddWidthLastColumnRepeatsItsNeighbour)
{
    // The row holds a whole second pair, whose own colours must not show.
    TestFrame t = TestFrame::uyvy(3, 2, 8);
    for (int y = 0; y < 2; ++y) {
        std::uint8_t *row = t.packedRow(y);
        const std::uint8_t bytes[8] = {90, 60, 160, 180, 250, 235, 10, 235};
        std::copy(std::begin(bytes), std::end(bytes), row);
    }
    for (bool deinterlace : {false, true}) {
        const FreezeFrameImage picture = convertFreezeFrame(t.frame, deinterlace);
        ASSERT_EQ(picture.width, 3);
        for (int y = 0; y < 2; ++y) {
            EXPECT_EQ(picture.pixel(1, y), convertYCbCrPixel(180, 90, 160, kPackedK));
            EXPECT_EQ(picture.pixel(2, y), picture.pixel(1, y)) << "row " << y;
        }
    }
    TestFrame single = TestFrame::uyvy(1, 1, 4);
    single.fillPackedRow(0, 128, 235, 128, 235);
    const FreezeFrameImage one = convertFreezeFrame(single.frame, false);
    ASSERT_FALSE(one.isNull());
    EXPECT_EQ(one.pixel(0, 0), (Rgb8{0, 0, 0}));
}

TEST(FreezeFrameConversion, FramesWithoutAPictureAreRefusedWithTheirLogLines)
{
    struct Case {
        const char *name;
        void (*spoil)(VideoFrame &);
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {"no image data",
         [](VideoFrame &f) {
             f.planes = {nullptr, nullptr};
         },
         {"Skipped Audio Buffer\n"}},
        {"yuvs", [](VideoFrame &f) { f.format = PixelFormat::YUY2; }, {}},
        {"unknown",
         [](VideoFrame &f) {
             f.format = PixelFormat::Other;
             f.fourCC = 0x52474241; // 'RGBA'
         },
         {"Unknown format: RGBA\n"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        TestFrame t = TestFrame::uyvy(4, 2);
        c.spoil(t.frame);
        kelvo::ScopedLogCapture log;
        EXPECT_TRUE(convertFreezeFrame(t.frame, true).isNull());
        EXPECT_EQ(log.lines(), c.lines);
    }
}

TEST(FreezeFrameConversion, RowsShorterThanTheWidthAreNeverRead)
{
    // Under the address sanitizer a read past these rows would fail the test.
    TestFrame packed = TestFrame::uyvy(8, 3, 12);
    packed.luma.resize(12 * 3);
    TestFrame planar = TestFrame::nv12(8, 2, ColourRange::Video);
    planar.frame.strides[1] = 4;
    for (const VideoFrame &f : {packed.frame, planar.frame}) {
        kelvo::ScopedLogCapture log;
        EXPECT_TRUE(convertFreezeFrame(f, true).isNull());
        EXPECT_EQ(log.lines().size(), 1u);
    }
}

TEST(FreezeFrameRotation, AngleIsTheDifferenceOfTheCounterClockwiseTurns)
{
    struct Case {
        std::int64_t from, to;
        int angle;
    };
    const Case cases[] = {{1, 1, 0},    {1, 2, 180}, {1, 3, 90}, {1, 4, 270}, {3, 4, 180}, {4, 3, -180},
                          {4, 1, -270}, {2, 3, -90}, {3, 3, 0},  {7, 2, 180}, {2, 0, -180}};
    for (const Case &c : cases) {
        EXPECT_EQ(rotationAngleBetween(c.from, c.to), c.angle) << c.from << " -> " << c.to;
    }
}

// A 3 × 2 picture whose pixels name their own position.
FreezeFrameImage namedPixels()
{
    auto bytes = std::make_shared<std::vector<std::uint8_t>>();
    for (int y = 0; y < 2; ++y) {
        for (int x = 0; x < 3; ++x) {
            bytes->insert(bytes->end(), {std::uint8_t(x), std::uint8_t(y), 7});
        }
    }
    return {3, 2, bytes};
}

TEST(FreezeFrameRotation, TurnsCounterClockwiseAsSeenOnScreen)
{
    const FreezeFrameImage source = namedPixels();
    struct Case {
        int angle;
        int width, height;
        // Where output pixel (x, y) comes from.
        std::function<std::pair<int, int>(int, int)> from;
    };
    const Case cases[] = {
        // A quarter turn to the left brings the top-right corner to the top left.
        {90, 2, 3,
         [](int x, int y) {
             return std::pair{2 - y, x};
         }},
        {-270, 2, 3,
         [](int x, int y) {
             return std::pair{2 - y, x};
         }},
        {180, 3, 2,
         [](int x, int y) {
             return std::pair{2 - x, 1 - y};
         }},
        {-180, 3, 2,
         [](int x, int y) {
             return std::pair{2 - x, 1 - y};
         }},
        // Three quarters (one to the right) bring the bottom-left corner there.
        {270, 2, 3,
         [](int x, int y) {
             return std::pair{y, 1 - x};
         }},
        {-90, 2, 3,
         [](int x, int y) {
             return std::pair{y, 1 - x};
         }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.angle);
        const FreezeFrameImage turned = turnFreezeFrameImage(source, c.angle);
        ASSERT_EQ(turned.width, c.width);
        ASSERT_EQ(turned.height, c.height);
        EXPECT_EQ(turned.bytesPerRow(), 3u * c.width);
        EXPECT_FALSE(turned.sharesPixelsWith(source));
        for (int y = 0; y < c.height; ++y) {
            for (int x = 0; x < c.width; ++x) {
                const auto [sx, sy] = c.from(x, y);
                EXPECT_EQ(turned.pixel(x, y), source.pixel(sx, sy)) << x << "," << y;
            }
        }
    }
    EXPECT_TRUE(turnFreezeFrameImage(source, 0).sharesPixelsWith(source));
    EXPECT_TRUE(turnFreezeFrameImage(FreezeFrameImage{}, 90).isNull());
}

} // namespace
