#pragma once

#include "video/ImageFilter.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

namespace kelvo::video {

// A colour-mode filter chain compiled for rendering. Every chain begins with
// a full-intensity monochrome tint, after which the picture is grey, so the
// whole chain is a function of the input's linear luminance alone: one curve
// from luminance to an output colour, sampled at kSize points. The curve is
// computed by running the filters' arithmetic on grey inputs in the
// linear-light working space (camera values decoded from sRGB first, the
// result encoded back), so it follows the filters exactly at its samples.
// Immutable once built; safe to share between threads.
class ColourCurve {
public:
    // A steep ramp needs many samples: 4096 keep the error under 0.02.
    static constexpr int kSize = 4096;
    // Fractional bits of the luminance sums in lumaTable().
    static constexpr int kLumaFractionBits = 8;

    // The identity: colours pass through untouched.
    ColourCurve() = default;

    // Compiles the colour filters of the list (affine filters are ignored).
    // An empty list, or one without colour filters, gives the identity.
    static std::shared_ptr<const ColourCurve> compile(const ImageFilterList &filters);

    bool isIdentity() const { return m_identity; }

    // The curve is constant on samples 0..flatBelow() and on
    // flatAbove()..kSize-1 (text and paper); only the ramp between varies.
    int flatBelow() const { return m_flatBelow; }
    int flatAbove() const { return m_flatAbove; }

    // Bounds that settle most pixels without any look-up. A pixel whose
    // largest channel is at most textLimitByte() is text: the index only
    // grows with each channel, and a grey of that value is still text. A
    // pixel whose weighted channel sum (kLumaR·r + kLumaG·g + kLumaB·b, in
    // 8-bit units) is at least paperLimitSum() is paper: the sRGB decoding is
    // convex, so the luminance is never below the decoding of that sum.
    int textLimitByte() const { return m_textLimitByte; }
    double paperLimitSum() const { return m_paperLimitSum; }
    // A pixel whose weighted sum is below textLimitSum() is text, whatever
    // its hue (a dark blue or red): the decoding never exceeds its input, so
    // the luminance is at most that sum. Negative when there is no such sum.
    double textLimitSum() const { return m_textLimitSum; }
    // The cheapest bound: a pixel whose smallest channel is at least
    // paperLimitByte() is paper, as a grey of that value is. 256 when no
    // grey is.
    int paperLimitByte() const { return m_paperLimitByte; }
    // The same for red and green alone, whatever the blue: paper under warm
    // light is short of blue, which weighs little in the luminance.
    int paperLimitRedGreen() const { return m_paperLimitRedGreen; }

    // The output pixel 0xFFRRGGBB for curve sample i (0..kSize-1).
    const std::uint32_t *table() const { return m_table.data(); }

    // Most modes go from one colour to another by moving some channels
    // together while the rest stay put (black to yellow: red and green rise
    // as one, blue stays at zero). Every output pixel is then base with the
    // bytes in channels all set to one value, the tone, so a picture in
    // such a mode can be carried as one byte per pixel.
    struct Tone {
        std::uint32_t base = 0;     // the fixed channels, tone channels zero
        std::uint32_t channels = 0; // 0xFF in each byte that holds the tone
        int shift = 0;              // of the lowest tone byte
        std::uint32_t pixel(std::uint8_t tone) const { return base | (channels & (0x01010101u * tone)); }
        std::uint8_t toneOf(std::uint32_t pixel) const { return std::uint8_t(pixel >> shift); }
    };
    // Null for the identity and for modes whose moving channels differ.
    const Tone *tone() const { return m_hasTone ? &m_tone : nullptr; }

    // Per channel (0 red, 1 green, 2 blue) and 8-bit sRGB value: the channel's
    // share of the linear luminance, scaled so that the sum of the three,
    // shifted right by kLumaFractionBits after adding half, is the sample
    // index.
    static const std::array<std::array<std::uint32_t, 256>, 3> &lumaTable();

    // The sample index for an 8-bit sRGB colour.
    static int sampleIndex(std::uint8_t r, std::uint8_t g, std::uint8_t b)
    {
        const auto &t = lumaTable();
        return static_cast<int>((t[0][r] + t[1][g] + t[2][b] + (1u << (kLumaFractionBits - 1))) >> kLumaFractionBits);
    }

    // The output pixel 0xFFRRGGBB for an 8-bit sRGB colour.
    std::uint32_t apply(std::uint8_t r, std::uint8_t g, std::uint8_t b) const
    {
        if (m_identity) {
            return 0xFF000000u | (std::uint32_t(r) << 16) | (std::uint32_t(g) << 8) | b;
        }
        return m_table[static_cast<std::size_t>(sampleIndex(r, g, b))];
    }

    // A table that a conversion derives from the curve, one per key: built by
    // the first caller to ask, then kept while the curve lives. Safe to call
    // from any thread; the reference stays valid as long as the curve.
    const std::vector<std::uint32_t> &derivedTable(int key,
                                                   const std::function<std::vector<std::uint32_t>()> &build) const;

    // Applies the curve in place to 32-bit pixels 0xFFRRGGBB (a picture that
    // is already RGB, such as a frozen one). The identity leaves them alone.
    void applyToRgb32(std::uint32_t *pixels, int width, int height, std::ptrdiff_t strideBytes) const;

private:
    void findTone();

    bool m_identity = true;
    int m_flatBelow = 0;
    int m_flatAbove = kSize - 1;
    int m_textLimitByte = -1;
    int m_paperLimitByte = 256;
    int m_paperLimitRedGreen = 256;
    double m_paperLimitSum = 1e9;
    double m_textLimitSum = -1.0;
    bool m_hasTone = false;
    Tone m_tone;
    mutable std::mutex m_derivedMutex;
    mutable std::map<int, std::vector<std::uint32_t>> m_derived;
    std::array<std::uint32_t, kSize> m_table{};
};

} // namespace kelvo::video
