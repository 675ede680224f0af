#include "video/ColourCurve.h"

#include <algorithm>
#include <cmath>

namespace kelvo::video {

namespace {

std::uint32_t encodeChannel(double linear)
{
    const double encoded = linearToSrgb(std::clamp(linear, 0.0, 1.0));
    return static_cast<std::uint32_t>(std::lround(encoded * 255.0));
}

} // namespace

const std::array<std::array<std::uint32_t, 256>, 3> &ColourCurve::lumaTable()
{
    static const auto table = [] {
        std::array<std::array<std::uint32_t, 256>, 3> t{};
        const double weights[3] = {kLumaR, kLumaG, kLumaB};
        const double scale = double(kSize - 1) * double(1 << kLumaFractionBits);
        for (int c = 0; c < 3; ++c) {
            for (int v = 0; v < 256; ++v) {
                t[c][v] = static_cast<std::uint32_t>(std::lround(weights[c] * srgbToLinear(v / 255.0) * scale));
            }
        }
        return t;
    }();
    return table;
}

void ColourCurve::applyToRgb32(std::uint32_t *pixels, int width, int height, std::ptrdiff_t strideBytes) const
{
    if (m_identity || pixels == nullptr) {
        return;
    }
    auto *bytes = reinterpret_cast<std::uint8_t *>(pixels);
    for (int y = 0; y < height; ++y) {
        auto *row = reinterpret_cast<std::uint32_t *>(bytes + y * strideBytes);
        for (int x = 0; x < width; ++x) {
            const std::uint32_t px = row[x];
            row[x] = apply(std::uint8_t(px >> 16), std::uint8_t(px >> 8), std::uint8_t(px));
        }
    }
}

const std::vector<std::uint32_t> &
ColourCurve::derivedTable(int key, const std::function<std::vector<std::uint32_t>()> &build) const
{
    const std::lock_guard lock(m_derivedMutex);
    auto found = m_derived.find(key);
    if (found == m_derived.end()) {
        found = m_derived.emplace(key, build()).first;
    }
    return found->second;
}

void ColourCurve::findTone()
{
    std::uint32_t moving = 0;
    for (const std::uint32_t px : m_table) {
        moving |= px ^ m_table[0];
    }
    Tone tone;
    for (int shift = 0; shift < 32; shift += 8) {
        if (((moving >> shift) & 0xFFu) != 0) {
            tone.channels |= 0xFFu << shift;
        }
    }
    if (tone.channels == 0) {
        return; // one colour throughout: nothing to carry
    }
    tone.shift = __builtin_ctz(tone.channels);
    tone.base = m_table[0] & ~tone.channels;
    for (const std::uint32_t px : m_table) {
        if (tone.pixel(tone.toneOf(px)) != px) {
            return;
        }
    }
    m_tone = tone;
    m_hasTone = true;
}

std::shared_ptr<const ColourCurve> ColourCurve::compile(const ImageFilterList &filters)
{
    auto curve = std::make_shared<ColourCurve>();
    ImageFilterList colourFilters;
    std::copy_if(filters.begin(), filters.end(), std::back_inserter(colourFilters), isColourFilter);
    if (colourFilters.empty()) {
        return curve;
    }
    curve->m_identity = false;
    for (int i = 0; i < kSize; ++i) {
        const double l = double(i) / double(kSize - 1);
        const Vec4 out = applyColourFilters(colourFilters, Vec4{l, l, l, 1.0});
        curve->m_table[static_cast<std::size_t>(i)] =
            0xFF000000u | (encodeChannel(out[0]) << 16) | (encodeChannel(out[1]) << 8) | encodeChannel(out[2]);
    }
    const auto &t = curve->m_table;
    while (curve->m_flatBelow + 1 < kSize && t[std::size_t(curve->m_flatBelow + 1)] == t[0]) {
        ++curve->m_flatBelow;
    }
    while (curve->m_flatAbove > 0 && t[std::size_t(curve->m_flatAbove - 1)] == t[kSize - 1]) {
        --curve->m_flatAbove;
    }
    while (curve->m_textLimitByte < 255) {
        const auto v = std::uint8_t(curve->m_textLimitByte + 1);
        if (sampleIndex(v, v, v) > curve->m_flatBelow) {
            break;
        }
        ++curve->m_textLimitByte;
    }
    while (curve->m_paperLimitByte > 0) {
        const auto v = std::uint8_t(curve->m_paperLimitByte - 1);
        if (sampleIndex(v, v, v) < curve->m_flatAbove) {
            break;
        }
        --curve->m_paperLimitByte;
    }
    while (curve->m_paperLimitRedGreen > 0) {
        const auto v = std::uint8_t(curve->m_paperLimitRedGreen - 1);
        if (sampleIndex(v, v, 0) < curve->m_flatAbove) {
            break;
        }
        --curve->m_paperLimitRedGreen;
    }
    // The table's index is within 0.51 of luminance · (kSize − 1); one whole
    // step of margin, and a little for the single-precision sum.
    for (int tenth = 0; tenth <= 2550; ++tenth) {
        const double sum = tenth / 10.0;
        if (srgbToLinear(sum / 255.0) * (kSize - 1) - 1.0 >= curve->m_flatAbove) {
            curve->m_paperLimitSum = sum + 0.01;
            break;
        }
    }
    // The same margin below the flat text samples.
    if (curve->m_flatBelow >= 1) {
        curve->m_textLimitSum = (curve->m_flatBelow - 1) * 255.0 / (kSize - 1) - 0.01;
    }
    curve->findTone();
    return curve;
}

} // namespace kelvo::video
