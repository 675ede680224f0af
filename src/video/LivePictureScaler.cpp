#include "video/LivePictureScaler.h"

#include "video/FrameConversion.h"

#include <algorithm>
#include <cmath>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define KELVO_X86_SCALER 1
#endif

namespace kelvo::video {

namespace {

constexpr std::uint32_t kBlack = 0xFF000000u;

// (256 − w)·p + w·q over 256 for each channel, two channels per multiply:
// each 8-bit channel times at most 256 fits its 16-bit lane. w = 0 gives p
// unchanged, which keeps one-to-one pixels exact.
inline std::uint32_t blend(std::uint32_t p, std::uint32_t q, std::uint32_t w)
{
    constexpr std::uint32_t kMask = 0x00FF00FFu;
    const std::uint32_t keep = 256 - w;
    const std::uint32_t redBlue = (((p & kMask) * keep + (q & kMask) * w) >> 8) & kMask;
    const std::uint32_t alphaGreen = (((p >> 8) & kMask) * keep + ((q >> 8) & kMask) * w) & ~kMask;
    return redBlue | alphaGreen;
}

// Blends pixels [x, end) of a scaled row, all inside the picture.
void blendColumnsPortable(const std::uint32_t *source, const int *first, const int *second, const std::uint16_t *weight,
                          int x, int end, std::uint32_t *out)
{
    for (; x < end; ++x) {
        out[x] = blend(source[first[x]], source[second[x]], weight[x]);
    }
}

#ifdef KELVO_X86_SCALER
bool cpuHasAvx2()
{
    static const bool has = __builtin_cpu_supports("avx2") != 0;
    return has;
}

// blend() for eight pixels, in 16-bit lanes: red and blue in one multiply,
// green and alpha in the other. w and keep hold each pixel's weight and
// 256 − weight in both halves of its lane.
__attribute__((target("avx2"), always_inline)) inline __m256i blend8(__m256i p, __m256i q, __m256i w, __m256i keep)
{
    const __m256i mask = _mm256_set1_epi32(0x00FF00FF);
    const __m256i redBlue = _mm256_srli_epi16(_mm256_add_epi16(_mm256_mullo_epi16(_mm256_and_si256(p, mask), keep),
                                                               _mm256_mullo_epi16(_mm256_and_si256(q, mask), w)),
                                              8);
    const __m256i alphaGreen =
        _mm256_andnot_si256(mask, _mm256_add_epi16(_mm256_mullo_epi16(_mm256_srli_epi16(p, 8), keep),
                                                   _mm256_mullo_epi16(_mm256_srli_epi16(q, 8), w)));
    return _mm256_or_si256(redBlue, alphaGreen);
}

// Eight pixels at a time through blend8. Returns where it stopped.
__attribute__((target("avx2"))) int blendColumnsAvx2(const std::uint32_t *source, int sourceWidth, const int *first,
                                                     const int *second, const std::uint16_t *weight, int x, int end,
                                                     std::uint32_t *out)
{
    const __m256i whole = _mm256_set1_epi16(256);
    const auto *pixels = reinterpret_cast<const int *>(source);
    for (; x + 8 <= end; x += 8) {
        const __m256i firstTaps = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(first + x));
        const __m256i secondTaps = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(second + x));
        // The taps run one way (either way when mirrored): eight pixels
        // enlarged or kept at their size draw on at most eight neighbouring
        // frame pixels, picked from one load instead of gathered one by one.
        int low = std::min(first[x], first[x + 7]);
        const int high = std::max(second[x], second[x + 7]);
        if (low + 8 > sourceWidth) {
            low = high - 7;
        }
        __m256i p, q;
        if (high - low < 8 && low >= 0) {
            const __m256i window = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(source + low));
            const __m256i base = _mm256_set1_epi32(low);
            p = _mm256_permutevar8x32_epi32(window, _mm256_sub_epi32(firstTaps, base));
            q = _mm256_permutevar8x32_epi32(window, _mm256_sub_epi32(secondTaps, base));
        } else {
            p = _mm256_i32gather_epi32(pixels, firstTaps, 4);
            q = _mm256_i32gather_epi32(pixels, secondTaps, 4);
        }
        const __m256i w32 = _mm256_cvtepu16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i *>(weight + x)));
        const __m256i w = _mm256_or_si256(w32, _mm256_slli_epi32(w32, 16));
        _mm256_storeu_si256(reinterpret_cast<__m256i *>(out + x), blend8(p, q, w, _mm256_sub_epi16(whole, w)));
    }
    return x;
}
#endif

// Row blends: every pixel of upper and lower mixed by one weight,
// (256 − down)·upper + down·lower over 256 as in blend().
void blendRowsPortable(const std::uint32_t *upper, const std::uint32_t *lower, std::uint32_t down, int x, int end,
                       std::uint32_t *out)
{
    for (; x < end; ++x) {
        out[x] = blend(upper[x], lower[x], down);
    }
}

#ifdef KELVO_X86_SCALER
__attribute__((target("avx2"))) int blendRowsAvx2(const std::uint32_t *upper, const std::uint32_t *lower,
                                                  std::uint32_t down, int x, int end, std::uint32_t *out)
{
    const __m256i w = _mm256_set1_epi16(short(down));
    const __m256i keep = _mm256_set1_epi16(short(256 - down));
    for (; x + 8 <= end; x += 8) {
        const __m256i p = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(upper + x));
        const __m256i q = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(lower + x));
        _mm256_storeu_si256(reinterpret_cast<__m256i *>(out + x), blend8(p, q, w, keep));
    }
    return x;
}

// SSE2 is part of every x86-64 processor.
int blendRowsSse2(const std::uint32_t *upper, const std::uint32_t *lower, std::uint32_t down, int x, int end,
                  std::uint32_t *out)
{
    const __m128i mask = _mm_set1_epi32(0x00FF00FF);
    const __m128i w = _mm_set1_epi16(short(down));
    const __m128i keep = _mm_set1_epi16(short(256 - down));
    for (; x + 4 <= end; x += 4) {
        const __m128i p = _mm_loadu_si128(reinterpret_cast<const __m128i *>(upper + x));
        const __m128i q = _mm_loadu_si128(reinterpret_cast<const __m128i *>(lower + x));
        const __m128i redBlue = _mm_srli_epi16(
            _mm_add_epi16(_mm_mullo_epi16(_mm_and_si128(p, mask), keep), _mm_mullo_epi16(_mm_and_si128(q, mask), w)),
            8);
        const __m128i alphaGreen = _mm_andnot_si128(
            mask, _mm_add_epi16(_mm_mullo_epi16(_mm_srli_epi16(p, 8), keep), _mm_mullo_epi16(_mm_srli_epi16(q, 8), w)));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out + x), _mm_or_si128(redBlue, alphaGreen));
    }
    return x;
}
#endif

void blendRows(const std::uint32_t *upper, const std::uint32_t *lower, std::uint32_t down, int count,
               std::uint32_t *out)
{
    int x = 0;
#ifdef KELVO_X86_SCALER
    x = cpuHasAvx2() ? blendRowsAvx2(upper, lower, down, x, count, out) : x;
    x = blendRowsSse2(upper, lower, down, x, count, out);
#endif
    blendRowsPortable(upper, lower, down, x, count, out);
}

} // namespace

std::optional<AxisAlignedPlacement> axisAlignedPlacement(const AffineTransform &t)
{
    constexpr double kTiny = 1e-12;
    if (std::abs(t.b) > kTiny || std::abs(t.c) > kTiny || std::abs(t.a) < kTiny || std::abs(t.d) < kTiny) {
        return std::nullopt;
    }
    return AxisAlignedPlacement{t.a, t.d, t.tx, t.ty};
}

void LivePictureScaler::computeTaps(Taps &taps, int start, int count, double scale, double offset, int frameSize)
{
    taps.first.resize(std::size_t(count));
    taps.second.resize(std::size_t(count));
    taps.weight.resize(std::size_t(count));
    for (int i = 0; i < count; ++i) {
        // The frame coordinate under this view pixel's centre.
        const double u = (start + i + 0.5 - offset) / scale;
        if (!(u >= 0.0 && u < double(frameSize))) {
            taps.first[std::size_t(i)] = -1;
            continue;
        }
        const double s = u - 0.5;
        double whole = std::floor(s);
        long weight = std::lround((s - whole) * 256.0);
        if (weight == 256) {
            whole += 1;
            weight = 0;
        }
        int left = int(whole);
        if (left < 0) {
            left = 0;
            weight = 0;
        } else if (left >= frameSize - 1) {
            left = frameSize - 1;
            weight = 0;
        }
        taps.first[std::size_t(i)] = left;
        taps.second[std::size_t(i)] = weight != 0 ? left + 1 : left;
        taps.weight[std::size_t(i)] = std::uint16_t(weight);
    }
}

const std::uint32_t *LivePictureScaler::convertedRow(const VideoFrame &frame, const ColourCurve *curve, int row)
{
    if (m_rowPixels.size() < std::size_t(frame.width)) {
        m_rowPixels.resize(std::size_t(frame.width));
    }
    convertFrameRowToRgb32(frame, row, m_firstColumn, m_endColumn, m_rowPixels.data(), curve);
    ++m_rowsConverted;
    return m_rowPixels.data();
}

const std::uint32_t *LivePictureScaler::scaledRow(const VideoFrame &frame, const ColourCurve *curve, int row, int keep,
                                                  int width)
{
    for (int slot = 0; slot < 2; ++slot) {
        if (m_scaledRowInSlot[slot] == row) {
            return m_scaledRows[slot].data();
        }
    }
    const int slot = m_scaledRowInSlot[0] == keep ? 1 : 0;
    std::vector<std::uint32_t> &out = m_scaledRows[slot];
    if (out.size() < std::size_t(width)) {
        out.resize(std::size_t(width));
    }
    const std::uint32_t *source = convertedRow(frame, curve, row);
    const int *first = m_columns.first.data();
    // The picture's columns are one run: black before and after it.
    std::fill(out.begin(), out.begin() + m_insideBegin, kBlack);
    std::fill(out.begin() + m_insideEnd, out.begin() + width, kBlack);
    int x = m_insideBegin;
#ifdef KELVO_X86_SCALER
    if (cpuHasAvx2()) {
        x = blendColumnsAvx2(source, frame.width, first, m_columns.second.data(), m_columns.weight.data(), x,
                             m_insideEnd, out.data());
    }
#endif
    blendColumnsPortable(source, first, m_columns.second.data(), m_columns.weight.data(), x, m_insideEnd, out.data());
    m_scaledRowInSlot[slot] = row;
    return out.data();
}

bool LivePictureScaler::render(const VideoFrame &frame, const ColourCurve *curve, const AxisAlignedPlacement &placement,
                               const Area &area, std::uint32_t *target, std::ptrdiff_t strideBytes)
{
    if (!isConvertible(frame) || target == nullptr) {
        return false;
    }
    if (area.width <= 0 || area.height <= 0) {
        return true;
    }
    computeTaps(m_columns, area.x, area.width, placement.scaleX, placement.offsetX, frame.width);
    computeTaps(m_rows, area.y, area.height, placement.scaleY, placement.offsetY, frame.height);
    m_firstColumn = frame.width;
    m_endColumn = 0;
    m_insideBegin = area.width;
    m_insideEnd = 0;
    for (int i = 0; i < area.width; ++i) {
        if (m_columns.first[std::size_t(i)] >= 0) {
            m_firstColumn = std::min(m_firstColumn, m_columns.first[std::size_t(i)]);
            m_endColumn = std::max(m_endColumn, m_columns.second[std::size_t(i)] + 1);
            m_insideBegin = std::min(m_insideBegin, i);
            m_insideEnd = i + 1;
        }
    }
    m_insideBegin = std::min(m_insideBegin, m_insideEnd);
    // Rows made for an earlier frame, curve or area are stale.
    m_scaledRowInSlot[0] = m_scaledRowInSlot[1] = -1;

    // Each frame row is converted and scaled across once, however many view
    // rows blend it; a view row is then a blend of two such rows.
    auto *rowBytes = reinterpret_cast<std::uint8_t *>(target);
    for (int y = 0; y < area.height; ++y, rowBytes += strideBytes) {
        auto *out = reinterpret_cast<std::uint32_t *>(rowBytes);
        const int top = m_rows.first[std::size_t(y)];
        if (top < 0 || m_firstColumn >= m_endColumn) {
            std::fill_n(out, area.width, kBlack);
            continue;
        }
        const int bottom = m_rows.second[std::size_t(y)];
        const unsigned down = m_rows.weight[std::size_t(y)];
        const std::uint32_t *upper = scaledRow(frame, curve, top, bottom, area.width);
        if (down == 0) {
            std::copy_n(upper, area.width, out);
            continue;
        }
        blendRows(upper, scaledRow(frame, curve, bottom, top, area.width), down, area.width, out);
    }
    return true;
}

} // namespace kelvo::video
