#include "video/LivePictureScaler.h"
#include "video/ColourMode.h"
#include "video/FrameConversion.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <random>
#include <string>
#include <vector>

using namespace kelvo::video;

namespace {

struct OwnedFrame {
    std::shared_ptr<std::vector<std::uint8_t>> bytes;
    VideoFrame frame;
};

// Random bytes in either layout, rows padded as capture pads them.
OwnedFrame randomFrame(PixelFormat format, ColourRange range, int width, int height, unsigned seed)
{
    std::mt19937 rng(seed);
    const bool packed = format == PixelFormat::UYVY;
    const int stride = packed ? 4 * ((width + 1) / 2) + 8 : width + 8;
    const int chromaStride = 2 * ((width + 1) / 2) + 4;
    auto bytes = std::make_shared<std::vector<std::uint8_t>>(
        std::size_t(stride) * height + (packed ? 0 : std::size_t(chromaStride) * ((height + 1) / 2)));
    for (auto &b : *bytes) {
        b = std::uint8_t(rng());
    }
    OwnedFrame f{bytes, {}};
    f.frame.format = format;
    f.frame.range = range;
    f.frame.width = width;
    f.frame.height = height;
    f.frame.planes = {bytes->data(), packed ? nullptr : bytes->data() + std::size_t(stride) * height};
    f.frame.strides = {stride, packed ? 0 : chromaStride};
    f.frame.storage = bytes;
    return f;
}

struct Picture {
    int width = 0, height = 0;
    std::vector<std::uint32_t> pixels;
    std::uint32_t at(int x, int y) const { return pixels[std::size_t(y) * std::size_t(width) + std::size_t(x)]; }
};

Picture exactPicture(const VideoFrame &frame, const ColourCurve *curve)
{
    Picture p{frame.width, frame.height, std::vector<std::uint32_t>(std::size_t(frame.width) * frame.height)};
    EXPECT_TRUE(convertFrameToRgb32(frame, p.pixels.data(), frame.width * 4, curve));
    return p;
}

// What a texture sampled with linear filtering and clamped edges shows at
// view pixel (x, y), one channel, in exact arithmetic.
double sampled(const Picture &p, const AxisAlignedPlacement &at, int x, int y, int shift)
{
    const double u = (x + 0.5 - at.offsetX) / at.scaleX - 0.5;
    const double v = (y + 0.5 - at.offsetY) / at.scaleY - 0.5;
    const double fu = std::floor(u), fv = std::floor(v);
    const auto channel = [&](double col, double row) {
        const int cx = std::clamp(int(col), 0, p.width - 1), cy = std::clamp(int(row), 0, p.height - 1);
        return double((p.at(cx, cy) >> shift) & 0xFF);
    };
    const double wu = u - fu, wv = v - fv;
    return (1 - wv) * ((1 - wu) * channel(fu, fv) + wu * channel(fu + 1, fv)) +
           wv * ((1 - wu) * channel(fu, fv + 1) + wu * channel(fu + 1, fv + 1));
}

bool shows(const Picture &p, const AxisAlignedPlacement &at, int x, int y)
{
    const double u = (x + 0.5 - at.offsetX) / at.scaleX, v = (y + 0.5 - at.offsetY) / at.scaleY;
    return u >= 0 && u < p.width && v >= 0 && v < p.height;
}

} // namespace

// At the frame's own size (upright or mirrored, moved by whole pixels) the
// view shows exactly the converted frame, including any part of it drawn on
// its own (an area starting on an odd column, an odd-width packed frame's
// last column) and the black around it.
TEST(LivePictureScaler, OneToOneIsTheExactConversion)
{
    const std::shared_ptr<const ColourCurve> curves[] = {ColourCurve::compile({}),
                                                         ColourCurve::compile(getColorModeFilters(10)),
                                                         ColourCurve::compile(getColorModeFilters(29))};
    for (PixelFormat format : {PixelFormat::UYVY, PixelFormat::NV12}) {
        for (const auto &curve : curves) {
            auto frame = randomFrame(format, ColourRange::Video, 37, 21, 11);
            const Picture exact = exactPicture(frame.frame, curve.get());
            for (bool mirrored : {false, true}) {
                const AxisAlignedPlacement at{mirrored ? -1.0 : 1.0, 1.0, mirrored ? 40.0 : 3.0, 2.0};
                const std::string what = std::string(format == PixelFormat::UYVY ? "packed" : "planar") +
                                         (curve->isIdentity() ? ""
                                          : curve->tone()     ? ", mode 10"
                                                              : ", mode 29") +
                                         (mirrored ? ", mirrored" : "");
                LivePictureScaler scaler;
                std::vector<std::uint32_t> view(44 * 26, 0x12345678u);
                // The whole view, then a part starting on an odd column.
                ASSERT_TRUE(scaler.render(frame.frame, curve.get(), at, {0, 0, 44, 26}, view.data(), 44 * 4));
                ASSERT_TRUE(
                    scaler.render(frame.frame, curve.get(), at, {5, 3, 30, 7}, view.data() + 3 * 44 + 5, 44 * 4));
                for (int y = 0; y < 26; ++y) {
                    for (int x = 0; x < 44; ++x) {
                        const int fx = mirrored ? 39 - x : x - 3, fy = y - 2;
                        const bool inside = fx >= 0 && fx < 37 && fy >= 0 && fy < 21;
                        ASSERT_EQ(view[std::size_t(y * 44 + x)], inside ? exact.at(fx, fy) : 0xFF000000u)
                            << what << " at " << x << "," << y;
                    }
                }
            }
        }
    }
}

// Scaled or zoomed, each view pixel is the linear blend of the coloured
// frame pixels around it (smoothed after the colour mode), and only the
// frame rows the view shows are converted. Every mode, as most take the
// one-byte tone path and the rest the four-channel one.
TEST(LivePictureScaler, ScaledPicturesBlendTheColouredPixelsOfTheShownPart)
{
    auto frame = randomFrame(PixelFormat::UYVY, ColourRange::Video, 96, 64, 5);
    struct Case {
        const char *name;
        AxisAlignedPlacement at;
        int viewWidth, viewHeight;
    };
    const Case cases[] = {
        {"shrunk to two thirds", {2.0 / 3.0, 2.0 / 3.0, 0, 5}, 64, 53},
        {"shrunk to under half", {0.4, 0.4, 3, 0}, 45, 26},
        {"zoomed 2 about the centre", {2.0, 2.0, -96, -64}, 96, 64},
        {"zoomed 2, shrunk, mirrored", {-4.0 / 3.0, 4.0 / 3.0, 96, -21}, 64, 43},
        {"enlarged 2.5", {2.5, 2.5, 0, 0}, 240, 160},
        {"enlarged 1.44, moved", {1.44, 1.44, 7.3, 1.5}, 141, 93},
    };
    int toneModes = 0;
    for (int mode = 0; mode <= 30; ++mode) {
        const auto curve = ColourCurve::compile(getColorModeFilters(mode));
        toneModes += curve->tone() != nullptr ? 1 : 0;
        const Picture exact = exactPicture(frame.frame, curve.get());
        for (const Case &c : cases) {
            const std::string what = std::string(c.name) + ", mode " + std::to_string(mode);
            LivePictureScaler scaler;
            std::vector<std::uint32_t> view(std::size_t(c.viewWidth) * c.viewHeight);
            ASSERT_TRUE(scaler.render(frame.frame, curve.get(), c.at, {0, 0, c.viewWidth, c.viewHeight}, view.data(),
                                      c.viewWidth * 4));
            int rowsShown = 0;
            for (int row = 0; row < 64; ++row) {
                const double top = row * c.at.scaleY + c.at.offsetY, bottom = top + c.at.scaleY;
                rowsShown += std::max(top, 0.0) < std::min(bottom, double(c.viewHeight)) ? 1 : 0;
            }
            EXPECT_LE(scaler.rowsConverted(), std::uint64_t(rowsShown + 2)) << what;
            int worst = 0;
            for (int y = 0; y < c.viewHeight; ++y) {
                for (int x = 0; x < c.viewWidth; ++x) {
                    const std::uint32_t got = view[std::size_t(y * c.viewWidth + x)];
                    if (!shows(exact, c.at, x, y)) {
                        ASSERT_EQ(got, 0xFF000000u) << what << " at " << x << "," << y;
                        continue;
                    }
                    ASSERT_EQ(got >> 24, 0xFFu) << what;
                    for (int shift : {0, 8, 16}) {
                        worst = std::max(
                            worst, int(std::abs(double((got >> shift) & 0xFF) - sampled(exact, c.at, x, y, shift))));
                    }
                }
            }
            // 8-bit blend weights and two roundings down.
            EXPECT_LE(worst, 2) << what;
        }
    }
    // All but the identity and the seven whose channels follow different
    // curves (a warm orange's green, or one channel rising as another falls).
    EXPECT_EQ(toneModes, 23);
}

TEST(LivePictureScaler, RefusesFramesItCannotReadAndWritesNothingForNoArea)
{
    LivePictureScaler scaler;
    std::vector<std::uint32_t> view(16, 7u);
    auto frame = randomFrame(PixelFormat::NV12, ColourRange::Full, 8, 2, 1);
    VideoFrame broken = frame.frame;
    broken.planes[1] = nullptr;
    EXPECT_FALSE(scaler.render(broken, nullptr, {}, {0, 0, 8, 2}, view.data(), 32));
    EXPECT_TRUE(scaler.render(frame.frame, nullptr, {}, {0, 0, 0, 2}, view.data(), 32));
    EXPECT_EQ(std::count(view.begin(), view.end(), 7u), 16) << "nothing written";
    EXPECT_EQ(scaler.rowsConverted(), 0u);
}
