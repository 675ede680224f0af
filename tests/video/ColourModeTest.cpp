#include "video/ColourMode.h"
#include "video/ColourCurve.h"
#include "video/FrameConversion.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

using namespace kelvo::video;

namespace {

struct Expected {
    Vec4 text;  // what black camera input becomes, linear working space
    Vec4 paper; // what white (and mid-grey) camera input becomes
};

// The two-colour results every mode must produce (the published target of the
// filter chains), in linear-light values.
const Expected kExpected[31] = {
    {{0, 0, 0, 1}, {1, 1, 1, 1}}, // 0: unchanged
    {{0, 0, 0, 1}, {1, 1, 1, 1}},   {{1, 1, 1, 1}, {0, 0, 0, 1}},    {{0, 1, 0, 1}, {0, 0, 0, 1}},
    {{1, 1, 0, 1}, {0, 0, 0, 1}},   {{1, 0, 0, 1}, {0, 0, 0, 1}},    {{0, 0, 1, 1}, {0, 0, 0, 1}},
    {{1, 0, 1, 1}, {0, 0, 0, 1}},   {{1, 0.24, 0, 1}, {0, 0, 0, 1}}, {{0, 0, 0, 1}, {0, 1, 0, 1}},
    {{0, 0, 0, 1}, {1, 1, 0, 1}},   {{0, 0, 0, 1}, {1, 0, 0, 1}},    {{0, 0, 0, 1}, {0, 0, 1, 1}},
    {{0, 0, 0, 1}, {1, 0, 1, 1}},   {{0, 0, 0, 1}, {1, 0.24, 0, 1}}, {{0, 0.82, 0, 1}, {1, 1, 1, 1}},
    {{1, 0, 0, 1}, {1, 1, 1, 1}},   {{0, 0, 1, 1}, {1, 1, 1, 1}},    {{1, 0, 1, 1}, {1, 1, 1, 1}},
    {{1, 0.5, 0, 1}, {1, 1, 1, 1}}, {{1, 1, 1, 1}, {0, 1, 0, 1}},    {{1, 1, 1, 1}, {1, 0, 0, 1}},
    {{1, 1, 1, 1}, {0, 0, 1, 1}},   {{1, 1, 1, 1}, {1, 0, 1, 1}},    {{1, 1, 1, 1}, {1, 0.5, 0, 1}},
    {{1, 0, 0, 1}, {1, 1, 0, 1}},   {{1, 1, 0, 1}, {1, 0, 0, 1}},    {{0, 1, 0, 1}, {1, 1, 0, 1}},
    {{1, 1, 0, 1}, {0, 1, 0, 1}},   {{0, 0, 1, 1}, {1, 1, 0, 1}},    {{1, 1, 0, 1}, {0, 0, 1, 1}},
};

// A one-pixel-high full-range NV12 frame of the given luma values, neutral chroma.
struct GreyFrame {
    std::vector<std::uint8_t> luma;
    std::vector<std::uint8_t> chroma;
    VideoFrame frame;
    explicit GreyFrame(std::vector<std::uint8_t> values) : luma(std::move(values))
    {
        chroma.assign(luma.size() + 1, 128);
        frame.format = PixelFormat::NV12;
        frame.range = ColourRange::Full;
        frame.width = static_cast<int>(luma.size());
        frame.height = 1;
        frame.planes = {luma.data(), chroma.data()};
        frame.strides = {frame.width, static_cast<int>(chroma.size())};
    }
};

// The luma that converts to exactly this sRGB grey, if one does.
int lumaForGrey(int grey)
{
    for (int y = 0; y < 256; ++y) {
        if (convertYCbCrPixel(y, 128, 128, 0.0) == Rgb8{std::uint8_t(grey), std::uint8_t(grey), std::uint8_t(grey)}) {
            return y;
        }
    }
    return -1;
}

std::vector<std::uint32_t> render(const GreyFrame &g, const ColourCurve &curve, ConversionKernel kernel)
{
    std::vector<std::uint32_t> out(g.luma.size());
    EXPECT_TRUE(convertFrameToRgb32(g.frame, out.data(), std::ptrdiff_t(out.size() * 4), &curve, kernel));
    return out;
}

Vec4 linearOf(std::uint32_t px)
{
    return {srgbToLinear(((px >> 16) & 0xFF) / 255.0), srgbToLinear(((px >> 8) & 0xFF) / 255.0),
            srgbToLinear((px & 0xFF) / 255.0), 1};
}

void expectColour(std::uint32_t px, const Vec4 &expected, const std::string &what)
{
    const Vec4 got = linearOf(px);
    for (int c = 0; c < 3; ++c) {
        EXPECT_NEAR(got[c], expected[c], 0.01) << what << " channel " << c;
    }
}

} // namespace

TEST(ColourMode, NamesComeInModeOrder)
{
    const QStringList names = colorModeNames();
    ASSERT_EQ(names.size(), 31);
    EXPECT_EQ(names[0], "Normal");
    EXPECT_EQ(names[1], "Black and White Positive");
    EXPECT_EQ(names[8], "Orange on Black");
    EXPECT_EQ(names[15], "Green on White");
    EXPECT_EQ(names[30], "Yellow on Blue");
}

TEST(ColourMode, InverseModesAreThoseWithABlackBackground)
{
    for (std::int64_t mode = -2; mode <= 32; ++mode) {
        const bool blackPaper = mode >= 0 && mode <= 30 && mode != 0 && kExpected[mode].paper[0] == 0 &&
                                kExpected[mode].paper[1] == 0 && kExpected[mode].paper[2] == 0;
        EXPECT_EQ(isInverseColorMode(mode), blackPaper) << mode;
    }
    ColourModeSelection selection;
    selection.chosenPreferredColorMode = -1;
    selection.chosenNonPreferredColorMode = 4;
    EXPECT_TRUE(isInInverseColorMode(selection, {}));
    selection.chosenNonPreferredColorMode = 9;
    EXPECT_FALSE(isInInverseColorMode(selection, {}));
}

TEST(ColourMode, CurrentModeReadsAndRepairsTheSelection)
{
    struct Case {
        std::int64_t preferredIndex;
        std::int64_t nonPreferred;
        std::vector<std::int64_t> preferred;
        std::int64_t expectedMode;
        std::vector<std::int64_t> expectedRepairs;
    };
    const std::vector<Case> cases = {
        {-1, 7, {}, 7, {}},     {-5, 12, {4, 9}, 12, {}}, {0, 7, {4, 9}, 4, {}}, {1, 7, {4, 9}, 9, {}},
        {3, 7, {4, 9}, 0, {0}}, {2, 7, {4, 9}, 0, {0}},   {3, 7, {}, 0, {}},     {0, 7, {}, 0, {}},
    };
    for (const Case &c : cases) {
        ColourModeSelection selection{c.preferredIndex, c.nonPreferred, c.preferred};
        std::vector<std::int64_t> repairs;
        EXPECT_EQ(currentColorMode(selection, [&](std::int64_t i) { repairs.push_back(i); }), c.expectedMode)
            << "index " << c.preferredIndex;
        EXPECT_EQ(repairs, c.expectedRepairs) << "index " << c.preferredIndex;
    }
}

TEST(ColourMode, FilterChainsHaveTheDescribedShape)
{
    const auto names = [](const ImageFilterList &list) {
        std::vector<std::string> out;
        for (const ImageFilter &f : list) {
            out.emplace_back(filterName(f));
        }
        return out;
    };
    const std::vector<std::string> positive = {"CIColorMonochrome", "CIColorControls", "CIColorMonochrome"};
    const std::vector<std::string> negative = {"CIColorMonochrome", "CIColorInvert", "CIColorControls",
                                               "CIColorMonochrome"};
    EXPECT_TRUE(getColorModeFilters(0).empty());
    EXPECT_TRUE(getColorModeFilters(-1).empty());
    EXPECT_TRUE(getColorModeFilters(31).empty());
    EXPECT_EQ(names(getColorModeFilters(1)), positive);
    EXPECT_EQ(names(getColorModeFilters(2)), negative);

    auto withMatrix = [](std::vector<std::string> base) {
        base.emplace_back("CIColorMatrix");
        return base;
    };
    EXPECT_EQ(names(getColorModeFilters(3)), withMatrix(negative));
    EXPECT_EQ(names(getColorModeFilters(9)), withMatrix(positive));
    EXPECT_EQ(getColorModeFilters(3).size(), 5u);
    EXPECT_EQ(getColorModeFilters(9).size(), 4u);

    const ImageFilterList p = getColorModeFilters(1);
    const auto &tint = std::get<ColorMonochromeFilter>(p[0]);
    EXPECT_EQ(tint.inputIntensity, 1.0f);
    EXPECT_EQ(tint.inputColor, (Vec4{1, 1, 1, 1}));
    const auto &controls = std::get<ColorControlsFilter>(p[1]);
    EXPECT_EQ(controls.inputSaturation, 0.0);
    EXPECT_EQ(controls.inputBrightness, 1.5);
    EXPECT_EQ(controls.inputContrast, 5.0);
    EXPECT_EQ(std::get<ColorMonochromeFilter>(p[2]).inputColor, (Vec4{0, 0, 0, 1}));
    EXPECT_EQ(std::get<ColorControlsFilter>(getColorModeFilters(2)[2]).inputBrightness, -1.0);

    const ImageFilterList chain16 = getColorModeFilters(16);
    const auto &m16 = std::get<ColorMatrixFilter>(chain16.back());
    EXPECT_EQ(m16.inputRVector, (Vec4{0, 0, 0, 1}));
    EXPECT_EQ(m16.inputAVector, (Vec4{0, 0, 0, 1}));
    EXPECT_EQ(m16.inputBiasVector, (Vec4{1, 1, 1, 0}));
}

// The target colours on pixels that went through the frame conversion and
// the compiled curve, on every conversion kernel.
TEST(ColourMode, RenderedPixelsShowTextAndPaperColours)
{
    const int black = lumaForGrey(0), white = 255, midGrey = lumaForGrey(188); // sRGB 188 ≈ linear 0.5
    ASSERT_GE(black, 0);
    ASSERT_GE(midGrey, 0);
    // Enough pixels to run through the vector loop as well as the tail.
    std::vector<std::uint8_t> luma;
    for (int i = 0; i < 12; ++i) {
        luma.insert(luma.end(), {std::uint8_t(black), std::uint8_t(white), std::uint8_t(midGrey)});
    }
    const GreyFrame frame(luma);
    for (ConversionKernel kernel : {ConversionKernel::Portable, ConversionKernel::Avx2, ConversionKernel::Avx512}) {
        for (std::int64_t mode = 1; mode <= 30; ++mode) {
            const auto curve = ColourCurve::compile(getColorModeFilters(mode));
            const auto out = render(frame, *curve, kernel);
            for (std::size_t i = 0; i < out.size(); i += 3) {
                const std::string where = "mode " + std::to_string(mode) + " pixel " + std::to_string(i);
                expectColour(out[i], kExpected[mode].text, where + " text");
                expectColour(out[i + 1], kExpected[mode].paper, where + " paper");
                expectColour(out[i + 2], kExpected[mode].paper, where + " mid grey");
            }
        }
    }
}

TEST(ColourMode, NormalModeLeavesPixelsUntouched)
{
    std::vector<std::uint8_t> luma(40);
    for (std::size_t i = 0; i < luma.size(); ++i) {
        luma[i] = static_cast<std::uint8_t>(i * 6);
    }
    GreyFrame frame(luma);
    for (std::size_t i = 0; i < frame.chroma.size(); ++i) {
        frame.chroma[i] = static_cast<std::uint8_t>(40 + i * 5);
    }
    const auto curve = ColourCurve::compile(getColorModeFilters(0));
    EXPECT_TRUE(curve->isIdentity());
    std::vector<std::uint32_t> plain(luma.size());
    ASSERT_TRUE(convertFrameToRgb32(frame.frame, plain.data(), std::ptrdiff_t(plain.size() * 4)));
    EXPECT_EQ(render(frame, *curve, ConversionKernel::Best), plain);
}

// Text turns to paper between sRGB greys 89 and 108 (linear luminance 0.10 to
// 0.15), so darker greys stay text and lighter ones become paper.
TEST(ColourMode, ThresholdBandSitsBetweenGreys89And108)
{
    std::vector<int> greys;
    std::vector<std::uint8_t> luma;
    for (int g = 80; g <= 118; ++g) {
        const int y = lumaForGrey(g);
        if (y >= 0) {
            greys.push_back(g);
            luma.push_back(std::uint8_t(y));
        }
    }
    ASSERT_GT(greys.size(), 25u);
    const GreyFrame frame(luma);
    for (std::int64_t mode : {1, 2, 10, 30}) {
        const auto curve = ColourCurve::compile(getColorModeFilters(mode));
        const auto out = render(frame, *curve, ConversionKernel::Best);
        const Vec4 text = kExpected[mode].text, paper = kExpected[mode].paper;
        // Position of each pixel between text (0) and paper (1), on the channel
        // where the two differ.
        int channel = 0;
        while (text[channel] == paper[channel]) {
            ++channel;
        }
        double previous = -1;
        for (std::size_t i = 0; i < greys.size(); ++i) {
            const double v = linearOf(out[i])[channel];
            const double position = (v - text[channel]) / (paper[channel] - text[channel]);
            const std::string what = "mode " + std::to_string(mode) + " grey " + std::to_string(greys[i]);
            if (greys[i] < 89) {
                EXPECT_NEAR(position, 0.0, 0.01) << what;
            } else if (greys[i] > 108) {
                EXPECT_NEAR(position, 1.0, 0.01) << what;
            } else if (greys[i] >= 97 && greys[i] <= 101) {
                EXPECT_GT(position, 0.1) << what;
                EXPECT_LT(position, 0.9) << what;
            }
            EXPECT_GE(position, previous - 0.01) << what << " (the ramp rises)";
            previous = position;
        }
    }
}

// The compiled curve follows the full chain on arbitrary colours, not only
// greys, within the sampling error of the steep ramp.
TEST(ColourMode, CompiledCurveFollowsTheChainOnAnyColour)
{
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> byte(0, 255);
    for (std::int64_t mode : {1, 2, 8, 15, 20, 24, 29}) {
        const ImageFilterList chain = getColorModeFilters(mode);
        const auto curve = ColourCurve::compile(chain);
        for (int i = 0; i < 2000; ++i) {
            const int r = byte(rng), g = byte(rng), b = byte(rng);
            const Vec4 in{srgbToLinear(r / 255.0), srgbToLinear(g / 255.0), srgbToLinear(b / 255.0), 1};
            const Vec4 expected = applyColourFilters(chain, in);
            const Vec4 got = linearOf(curve->apply(std::uint8_t(r), std::uint8_t(g), std::uint8_t(b)));
            for (int c = 0; c < 3; ++c) {
                ASSERT_NEAR(got[c], expected[c], 0.03) << "mode " << mode << " rgb " << r << "," << g << "," << b;
            }
        }
    }
}

// The bounds that let the fast paths skip the tables are sound: whatever a
// bound calls text or paper, the tables call the same, for every mode.
TEST(ColourMode, CurveBoundsNeverMisjudgeAColour)
{
    for (std::int64_t mode = 1; mode < std::int64_t(colorModeNames().size()); ++mode) {
        const auto curve = ColourCurve::compile(getColorModeFilters(mode));
        ASSERT_FALSE(curve->isIdentity()) << mode;
        const std::uint32_t text = curve->table()[0];
        const std::uint32_t paper = curve->table()[ColourCurve::kSize - 1];
        EXPECT_LT(curve->textLimitByte(), curve->paperLimitByte()) << mode;
        EXPECT_LE(curve->paperLimitByte(), curve->paperLimitRedGreen()) << mode;
        int settled = 0;
        for (int r = 0; r < 256; r += 3) {
            for (int g = 0; g < 256; g += 3) {
                for (int b = 0; b < 256; b += 3) {
                    const std::uint32_t out = curve->apply(std::uint8_t(r), std::uint8_t(g), std::uint8_t(b));
                    const double sum = kLumaR * r + kLumaG * g + kLumaB * b;
                    if (std::max({r, g, b}) <= curve->textLimitByte()) {
                        ASSERT_EQ(out, text) << "mode " << mode << " rgb " << r << "," << g << "," << b;
                        ++settled;
                    }
                    if (std::min({r, g, b}) >= curve->paperLimitByte() ||
                        std::min(r, g) >= curve->paperLimitRedGreen() || sum >= curve->paperLimitSum()) {
                        ASSERT_EQ(out, paper) << "mode " << mode << " rgb " << r << "," << g << "," << b;
                        ++settled;
                    }
                }
            }
        }
        // Bounds that settle nothing would be sound and useless.
        EXPECT_GT(settled, 86 * 86 * 86 / 4) << mode;
    }
}
