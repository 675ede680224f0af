#include "video/FrameConversion.h"
#include "video/ColourMode.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <random>
#include <vector>

using namespace kelvo::video;

namespace {

// Owns the bytes of a test frame.
struct TestFrame {
    std::vector<std::uint8_t> plane0, plane1;
    VideoFrame frame;

    static TestFrame uyvy(int width, int height, int stride)
    {
        TestFrame t;
        t.plane0.assign(std::size_t(stride) * height, 0);
        t.frame.format = PixelFormat::UYVY;
        t.frame.width = width;
        t.frame.height = height;
        t.frame.planes = {t.plane0.data(), nullptr};
        t.frame.strides = {stride, 0};
        return t;
    }
    static TestFrame nv12(int width, int height, ColourRange range, int lumaStride, int chromaStride)
    {
        TestFrame t;
        t.plane0.assign(std::size_t(lumaStride) * height, 0);
        t.plane1.assign(std::size_t(chromaStride) * ((height + 1) / 2), 128);
        t.frame.format = PixelFormat::NV12;
        t.frame.range = range;
        t.frame.width = width;
        t.frame.height = height;
        t.frame.planes = {t.plane0.data(), t.plane1.data()};
        t.frame.strides = {lumaStride, chromaStride};
        return t;
    }
    void randomise(unsigned seed)
    {
        std::mt19937 rng(seed);
        std::uniform_int_distribution<int> byte(0, 255);
        for (auto &b : plane0) {
            b = std::uint8_t(byte(rng));
        }
        for (auto &b : plane1) {
            b = std::uint8_t(byte(rng));
        }
    }
    // The described per-pixel reading of the frame.
    Rgb8 expected(int x, int y) const
    {
        const double k = lumaOffset(frame.format, frame.range);
        if (frame.format == PixelFormat::UYVY) {
            const std::uint8_t *pair = plane0.data() + std::size_t(y) * frame.strides[0] + 4 * (x / 2);
            return convertYCbCrPixel(pair[1 + 2 * (x % 2)], pair[0], pair[2], k);
        }
        const std::uint8_t *c = plane1.data() + std::size_t(y / 2) * frame.strides[1];
        return convertYCbCrPixel(plane0[std::size_t(y) * frame.strides[0] + x], c[x & ~1], c[x | 1], k);
    }
};

Rgb8 unpack(std::uint32_t px)
{
    return {std::uint8_t(px >> 16), std::uint8_t(px >> 8), std::uint8_t(px)};
}

std::vector<std::uint32_t> convert(const VideoFrame &f, ConversionKernel kernel, const ColourCurve *curve = nullptr)
{
    std::vector<std::uint32_t> out(std::size_t(f.width) * f.height, 0xDEADBEEF);
    EXPECT_TRUE(convertFrameToRgb32(f, out.data(), std::ptrdiff_t(f.width) * 4, curve, kernel));
    return out;
}

constexpr ConversionKernel kKernels[] = {ConversionKernel::Best, ConversionKernel::Portable, ConversionKernel::Avx2,
                                         ConversionKernel::Avx512};

} // namespace

TEST(FrameConversion, DescribedPixelValues)
{
    struct Case {
        int y, cb, cr;
        double k;
        Rgb8 rgb;
    };
    const Case cases[] = {
        {16, 128, 128, -0.65, {12, 12, 12}},   {235, 128, 128, -0.65, {255, 255, 255}},
        {128, 128, 128, 0.0, {130, 130, 130}}, {128, 128, 128, 1.0, {111, 111, 111}},
        {128, 64, 192, 0.0, {232, 103, 1}},    {128, 64, 192, 1.0, {213, 84, 0}},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(convertYCbCrPixel(c.y, c.cb, c.cr, c.k), c.rgb) << c.y << "," << c.cb << "," << c.cr << " k=" << c.k;
    }
    EXPECT_EQ(lumaOffset(PixelFormat::UYVY, ColourRange::Video), -0.65);
    EXPECT_EQ(lumaOffset(PixelFormat::NV12, ColourRange::Video), 1.0);
    EXPECT_EQ(lumaOffset(PixelFormat::NV12, ColourRange::Full), 0.0);
}

TEST(FrameConversion, DescribedFramesConvertOnEveryKernel)
{
    TestFrame uyvy = TestFrame::uyvy(2, 1, 4);
    uyvy.plane0 = {128, 16, 128, 235};
    uyvy.frame.planes[0] = uyvy.plane0.data();
    for (ConversionKernel kernel : kKernels) {
        const auto out = convert(uyvy.frame, kernel);
        EXPECT_EQ(unpack(out[0]), (Rgb8{12, 12, 12}));
        EXPECT_EQ(unpack(out[1]), (Rgb8{255, 255, 255}));
        EXPECT_EQ(out[0] >> 24, 0xFFu);
    }

    struct Nv12Case {
        ColourRange range;
        std::uint8_t cb, cr;
        Rgb8 rgb;
    };
    const Nv12Case cases[] = {
        {ColourRange::Full, 128, 128, {130, 130, 130}},
        {ColourRange::Video, 128, 128, {111, 111, 111}},
        {ColourRange::Full, 64, 192, {232, 103, 1}},
        {ColourRange::Video, 64, 192, {213, 84, 0}},
    };
    for (const Nv12Case &c : cases) {
        // Wide enough for the vector loop: every pixel the same.
        TestFrame f = TestFrame::nv12(40, 2, c.range, 40, 40);
        std::fill(f.plane0.begin(), f.plane0.end(), 128);
        for (std::size_t i = 0; i < f.plane1.size(); i += 2) {
            f.plane1[i] = c.cb;
            f.plane1[i + 1] = c.cr;
        }
        for (ConversionKernel kernel : kKernels) {
            for (std::uint32_t px : convert(f.frame, kernel)) {
                ASSERT_EQ(unpack(px), c.rgb);
            }
        }
    }
}

// Every (Y, Cb, Cr) triple, for the three luma offsets, through the frame
// path: the fast integer arithmetic must agree with the double-precision
// reference everywhere, including the rare sums that land exactly on an
// integer.
TEST(FrameConversion, EveryInputMatchesTheReferenceArithmetic)
{
    // Packed: one row per (Cb, Cr), 128 pairs covering every luma value.
    TestFrame packed = TestFrame::uyvy(256, 65536, 512);
    for (int c = 0; c < 65536; ++c) {
        std::uint8_t *row = packed.plane0.data() + std::size_t(c) * 512;
        for (int p = 0; p < 128; ++p) {
            row[4 * p] = std::uint8_t(c & 0xFF);
            row[4 * p + 1] = std::uint8_t(2 * p);
            row[4 * p + 2] = std::uint8_t(c >> 8);
            row[4 * p + 3] = std::uint8_t(2 * p + 1);
        }
    }
    // Bi-planar: two rows per (Cb, Cr) share one chroma row.
    TestFrame planar = TestFrame::nv12(128, 2 * 65536, ColourRange::Full, 128, 128);
    for (int c = 0; c < 65536; ++c) {
        for (int x = 0; x < 128; ++x) {
            planar.plane0[std::size_t(2 * c) * 128 + x] = std::uint8_t(x);
            planar.plane0[std::size_t(2 * c + 1) * 128 + x] = std::uint8_t(128 + x);
        }
        for (int x = 0; x < 128; x += 2) {
            planar.plane1[std::size_t(c) * 128 + x] = std::uint8_t(c & 0xFF);
            planar.plane1[std::size_t(c) * 128 + x + 1] = std::uint8_t(c >> 8);
        }
    }
    std::vector<TestFrame *> frames = {&packed, &planar};
    TestFrame planarVideo = planar;
    planarVideo.frame.range = ColourRange::Video;
    planarVideo.frame.planes = {planarVideo.plane0.data(), planarVideo.plane1.data()};
    frames.push_back(&planarVideo);

    for (TestFrame *t : frames) {
        for (ConversionKernel kernel : kKernels) {
            const auto out = convert(t->frame, kernel);
            int mismatches = 0;
            for (int y = 0; y < t->frame.height && mismatches < 5; ++y) {
                for (int x = 0; x < t->frame.width; ++x) {
                    const Rgb8 want = t->expected(x, y);
                    if (unpack(out[std::size_t(y) * t->frame.width + x]) != want) {
                        ADD_FAILURE() << "format " << int(t->frame.format) << " range " << int(t->frame.range)
                                      << " kernel " << int(kernel) << " at " << x << "," << y;
                        ++mismatches;
                    }
                }
            }
        }
    }
    // With a colour mode, most pixels are settled as plain text or paper by
    // bounds on their luma found for each chroma pair; everywhere they must
    // give what the curve gives for the exact colour.
    const auto curve = ColourCurve::compile(getColorModeFilters(10));
    for (TestFrame *t : {&packed, &planarVideo}) {
        for (ConversionKernel kernel : {ConversionKernel::Best, ConversionKernel::Portable}) {
            const auto out = convert(t->frame, kernel, curve.get());
            int mismatches = 0;
            for (int y = 0; y < t->frame.height && mismatches < 5; ++y) {
                for (int x = 0; x < t->frame.width; ++x) {
                    const Rgb8 want = t->expected(x, y);
                    if (out[std::size_t(y) * t->frame.width + x] != curve->apply(want.r, want.g, want.b)) {
                        ADD_FAILURE() << "mode 10, format " << int(t->frame.format) << " kernel " << int(kernel)
                                      << " at " << x << "," << y;
                        ++mismatches;
                    }
                }
            }
        }
    }
}

TEST(FrameConversion, OddSizesAndPaddedRows)
{
    struct Case {
        PixelFormat format;
        int width, height, stride0, stride1;
    };
    const Case cases[] = {
        {PixelFormat::UYVY, 37, 3, 80, 0},  {PixelFormat::UYVY, 2, 1, 4, 0}, {PixelFormat::UYVY, 35, 5, 72, 0},
        {PixelFormat::NV12, 37, 5, 40, 38}, {PixelFormat::NV12, 1, 1, 1, 2}, {PixelFormat::NV12, 53, 7, 64, 64},
        {PixelFormat::NV12, 16, 3, 16, 16},
    };
    for (const Case &c : cases) {
        TestFrame t = c.format == PixelFormat::UYVY
                          ? TestFrame::uyvy(c.width, c.height, c.stride0)
                          : TestFrame::nv12(c.width, c.height, ColourRange::Video, c.stride0, c.stride1);
        t.randomise(unsigned(c.width * 100 + c.height));
        for (ConversionKernel kernel : kKernels) {
            const auto out = convert(t.frame, kernel);
            for (int y = 0; y < c.height; ++y) {
                for (int x = 0; x < c.width; ++x) {
                    ASSERT_EQ(unpack(out[std::size_t(y) * c.width + x]), t.expected(x, y))
                        << "width " << c.width << " at " << x << "," << y;
                }
            }
        }
    }
}

// An odd-width packed row whose stride stops before the last pair's Cr
// cannot convert its last pixel: it repeats its left neighbour.
TEST(FrameConversion, OddPackedRowWithoutItsLastPairRepeatsTheNeighbour)
{
    TestFrame t = TestFrame::uyvy(5, 2, 10);
    t.randomise(3);
    for (ConversionKernel kernel : kKernels) {
        const auto out = convert(t.frame, kernel);
        for (int y = 0; y < 2; ++y) {
            for (int x = 0; x < 4; ++x) {
                EXPECT_EQ(unpack(out[std::size_t(y) * 5 + x]), t.expected(x, y));
            }
            EXPECT_EQ(out[std::size_t(y) * 5 + 4], out[std::size_t(y) * 5 + 3]);
        }
    }
}

TEST(FrameConversion, UnreadableFramesAreRefused)
{
    std::vector<std::uint8_t> bytes(4096, 0);
    const auto base = [&] {
        VideoFrame f;
        f.format = PixelFormat::NV12;
        f.width = 16;
        f.height = 4;
        f.planes = {bytes.data(), bytes.data() + 1024};
        f.strides = {16, 16};
        return f;
    };
    std::vector<std::pair<const char *, VideoFrame>> bad;
    VideoFrame f = base();
    f.width = 0;
    bad.emplace_back("no width", f);
    f = base();
    f.height = -1;
    bad.emplace_back("negative height", f);
    f = base();
    f.planes[0] = nullptr;
    bad.emplace_back("no luma", f);
    f = base();
    f.planes[1] = nullptr;
    bad.emplace_back("no chroma", f);
    f = base();
    f.strides[0] = 15;
    bad.emplace_back("short luma rows", f);
    f = base();
    f.width = 15;
    f.strides[1] = 15;
    bad.emplace_back("chroma row without the last Cr", f);
    f = base();
    f.format = PixelFormat::UYVY;
    f.strides[0] = 31;
    bad.emplace_back("short packed rows", f);
    f = base();
    f.strides[1] = -16;
    bad.emplace_back("negative stride", f);

    std::vector<std::uint32_t> out(64, 0x12345678);
    for (const auto &[what, frame] : bad) {
        EXPECT_FALSE(isConvertible(frame)) << what;
        EXPECT_FALSE(convertFrameToRgb32(frame, out.data(), 64)) << what;
        std::vector<std::uint8_t> rgb(3 * 64, 7);
        EXPECT_FALSE(convertFrameToRgb888(frame, rgb.data(), 48)) << what;
    }
    EXPECT_EQ(out, std::vector<std::uint32_t>(64, 0x12345678));

    const VideoFrame good = base();
    EXPECT_TRUE(isConvertible(good));
    EXPECT_FALSE(convertFrameToRgb32(good, nullptr, 64));
    EXPECT_FALSE(convertFrameToRgb32(good, out.data(), 60)) << "destination rows too short";
}

TEST(FrameConversion, StillLayoutHoldsTheSameValues)
{
    TestFrame t = TestFrame::nv12(23, 4, ColourRange::Full, 24, 24);
    t.randomise(11);
    const auto rgb32 = convert(t.frame, ConversionKernel::Best);
    const int stride = 23 * 3 + 5;
    std::vector<std::uint8_t> rgb(std::size_t(stride) * 4, 0);
    ASSERT_TRUE(convertFrameToRgb888(t.frame, rgb.data(), stride));
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 23; ++x) {
            const std::uint8_t *p = rgb.data() + y * stride + 3 * x;
            EXPECT_EQ((Rgb8{p[0], p[1], p[2]}), unpack(rgb32[std::size_t(y) * 23 + x])) << x << "," << y;
        }
    }
}

// Every kernel's fused pass (conversion and colour curve in one) gives what
// the two steps give one after the other.
void expectFusedEqualsTwoSteps(const TestFrame &t, std::initializer_list<std::int64_t> modes)
{
    const int w = t.frame.width, h = t.frame.height;
    for (std::int64_t mode : modes) {
        const auto curve = ColourCurve::compile(getColorModeFilters(mode));
        for (ConversionKernel kernel : kKernels) {
            const auto out = convert(t.frame, kernel, curve.get());
            for (int y = 0; y < h; ++y) {
                for (int x = 0; x < w; ++x) {
                    const Rgb8 rgb = t.expected(x, y);
                    ASSERT_EQ(out[std::size_t(y) * w + x], curve->apply(rgb.r, rgb.g, rgb.b))
                        << "mode " << mode << " kernel " << int(kernel) << " at " << x << "," << y;
                }
            }
        }
    }
}

TEST(FrameConversion, FusedColourCurveMatchesTheTwoSteps)
{
    // Random pixels: every grey and colour, many near the ramp, where the
    // shortcuts for plain text and paper must step aside.
    constexpr int kW = 250, kH = 40;
    for (PixelFormat format : {PixelFormat::UYVY, PixelFormat::NV12}) {
        TestFrame t = format == PixelFormat::UYVY ? TestFrame::uyvy(kW, kH, 2 * kW)
                                                  : TestFrame::nv12(kW, kH, ColourRange::Video, kW, kW);
        t.randomise(5);
        expectFusedEqualsTwoSteps(t, {1, 2, 14, 20, 24});
    }
}

// A page under the camera: bright, slightly tinted paper, dark strokes and a
// few greys on the ramp between. Whole vector groups of plain text or paper
// are settled by bounds alone; they must still give what the tables give.
TEST(FrameConversion, FusedShortcutsAgreeOnAPage)
{
    constexpr int kW = 320, kH = 24;
    std::mt19937 rng(9);
    std::uniform_int_distribution<int> tint(-12, 12), wobble(-3, 3), ramp(80, 120);
    for (PixelFormat format : {PixelFormat::UYVY, PixelFormat::NV12}) {
        TestFrame t = format == PixelFormat::UYVY ? TestFrame::uyvy(kW, kH, 2 * kW)
                                                  : TestFrame::nv12(kW, kH, ColourRange::Full, kW, kW);
        for (int y = 0; y < kH; ++y) {
            for (int x = 0; x < kW; ++x) {
                const bool stroke = (x / 16 + y / 6) % 4 == 0;
                const bool edge = x % 97 == 0;
                const int luma = edge ? ramp(rng) : (stroke ? 28 : 205) + wobble(rng);
                if (format == PixelFormat::UYVY) {
                    std::uint8_t *pair = t.plane0.data() + std::size_t(y) * 2 * kW + 4 * (x / 2);
                    pair[1 + 2 * (x % 2)] = std::uint8_t(luma);
                    pair[0] = std::uint8_t(128 + tint(rng));
                    pair[2] = std::uint8_t(128 + tint(rng));
                } else {
                    t.plane0[std::size_t(y) * kW + x] = std::uint8_t(luma);
                    t.plane1[std::size_t(y / 2) * kW + x] = std::uint8_t(128 + tint(rng));
                }
            }
        }
        expectFusedEqualsTwoSteps(t, {3, 9, 10, 24});
    }
}

// Deinterlacing keeps the even rows, averages the even rows around each odd
// row byte by byte, and repeats the row above where there is none below; a
// bi-planar frame is converted without it.
TEST(FrameConversion, DeinterlacingBlendsPackedRowsOnly)
{
    for (int height : {4, 5}) {
        TestFrame t = TestFrame::uyvy(37, height, 76);
        t.randomise(unsigned(height));
        // The expected picture: a frame whose odd rows were blended by hand.
        TestFrame blended = t;
        blended.frame.planes[0] = blended.plane0.data();
        for (int r = 1; r < height; r += 2) {
            std::uint8_t *row = blended.plane0.data() + std::size_t(r) * 76;
            const std::uint8_t *above = t.plane0.data() + std::size_t(r - 1) * 76;
            for (int i = 0; i < 76; ++i) {
                row[i] = r < height - 2 ? std::uint8_t((above[i] + above[i + 2 * 76]) >> 1) : above[i];
            }
        }
        for (ConversionKernel kernel : kKernels) {
            std::vector<std::uint32_t> out(std::size_t(37) * height);
            ASSERT_TRUE(convertFrameToRgb32(t.frame, out.data(), 37 * 4, nullptr, kernel, true));
            for (int y = 0; y < height; ++y) {
                for (int x = 0; x < 37; ++x) {
                    ASSERT_EQ(unpack(out[std::size_t(y) * 37 + x]), blended.expected(x, y))
                        << "height " << height << " at " << x << "," << y;
                }
            }
        }
        std::vector<std::uint8_t> rgb(std::size_t(37) * 3 * height);
        ASSERT_TRUE(convertFrameToRgb888(t.frame, rgb.data(), 37 * 3, ConversionKernel::Best, true));
        EXPECT_EQ((Rgb8{rgb[37 * 3], rgb[37 * 3 + 1], rgb[37 * 3 + 2]}), blended.expected(0, 1));
    }

    TestFrame planar = TestFrame::nv12(20, 4, ColourRange::Video, 20, 20);
    planar.randomise(8);
    EXPECT_EQ(convert(planar.frame, ConversionKernel::Best), [&] {
        std::vector<std::uint32_t> out(80);
        convertFrameToRgb32(planar.frame, out.data(), 80, nullptr, ConversionKernel::Best, true);
        return out;
    }());
}
