#include "video/LivePictureScaler.h"

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

// The tone path's kernels: the same blend as blend(), one byte at a time.
inline std::uint8_t blendTone(unsigned p, unsigned q, unsigned w)
{
    return std::uint8_t(((256 - w) * p + w * q) >> 8);
}

void blendToneColumnsPortable(const std::uint8_t *tones, const int *first, const int *second,
                              const std::uint16_t *weight, int x, int end, std::uint8_t *out)
{
    for (; x < end; ++x) {
        out[x] = blendTone(tones[first[x]], tones[second[x]], weight[x]);
    }
}

void blendToneRowsPortable(const std::uint8_t *upper, const std::uint8_t *lower, unsigned down,
                           const ColourCurve::Tone &tone, int x, int end, std::uint32_t *out)
{
    for (; x < end; ++x) {
        out[x] = tone.pixel(blendTone(upper[x], lower[x], down));
    }
}

void extractTonesPortable(const std::uint32_t *pixels, int shift, int x, int end, std::uint8_t *out)
{
    for (; x < end; ++x) {
        out[x] = std::uint8_t(pixels[x] >> shift);
    }
}

#ifdef KELVO_X86_SCALER
// Sixteen tones, widened to 16 bits, blended by sixteen weights.
__attribute__((target("avx2"), always_inline)) inline __m128i blendTones16(__m128i p, __m128i q, __m256i w)
{
    const __m256i keep = _mm256_sub_epi16(_mm256_set1_epi16(256), w);
    const __m256i mixed = _mm256_srli_epi16(_mm256_add_epi16(_mm256_mullo_epi16(_mm256_cvtepu8_epi16(p), keep),
                                                             _mm256_mullo_epi16(_mm256_cvtepu8_epi16(q), w)),
                                            8);
    return _mm_packus_epi16(_mm256_castsi256_si128(mixed), _mm256_extracti128_si256(mixed, 1));
}

// Sixteen tones from a 32-byte window by two controls, one for each half.
__attribute__((target("avx2"), always_inline)) inline __m128i pickTones(__m128i lo, __m128i hi, const __m128i *control)
{
    return _mm_or_si128(_mm_shuffle_epi8(lo, _mm_loadu_si128(control)),
                        _mm_shuffle_epi8(hi, _mm_loadu_si128(control + 1)));
}

// Whole blocks of sixteen from x on (see LivePictureScaler::ToneShuffle).
// Returns where it stopped.
__attribute__((target("avx2"))) int blendToneColumnsAvx2(const std::uint8_t *tones, const int *first, const int *second,
                                                         const std::uint16_t *weight, const int *lows,
                                                         const std::array<std::uint8_t, 64> *shuffles, int x, int end,
                                                         std::uint8_t *out)
{
    for (int block = 0; x + 16 <= end; x += 16, ++block) {
        if (lows[block] < 0) {
            blendToneColumnsPortable(tones, first, second, weight, x, x + 16, out);
            continue;
        }
        const __m128i lo = _mm_loadu_si128(reinterpret_cast<const __m128i *>(tones + lows[block]));
        const __m128i hi = _mm_loadu_si128(reinterpret_cast<const __m128i *>(tones + lows[block] + 16));
        const auto *control = reinterpret_cast<const __m128i *>(shuffles[block].data());
        const __m256i w = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(weight + x));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out + x),
                         blendTones16(pickTones(lo, hi, control), pickTones(lo, hi, control + 2), w));
    }
    return x;
}

// Blends two rows of tones and writes them as pixels: each tone spread into
// its channels by one byte shuffle (see LivePictureScaler::m_toneSpread),
// the fixed channels laid over it.
__attribute__((target("avx2"))) int blendToneRowsAvx2(const std::uint8_t *upper, const std::uint8_t *lower,
                                                      unsigned down, const ColourCurve::Tone &tone,
                                                      const std::uint8_t *spread, int x, int end, std::uint32_t *out)
{
    const __m256i spreadLow = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(spread));
    const __m256i spreadHigh = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(spread + 32));
    const __m256i base = _mm256_set1_epi32(int(tone.base));
    const __m256i w = _mm256_set1_epi16(short(down));
    for (; x + 16 <= end; x += 16) {
        __m128i tones = _mm_loadu_si128(reinterpret_cast<const __m128i *>(upper + x));
        if (down != 0) {
            tones = blendTones16(tones, _mm_loadu_si128(reinterpret_cast<const __m128i *>(lower + x)), w);
        }
        const __m256i both = _mm256_broadcastsi128_si256(tones);
        _mm256_storeu_si256(reinterpret_cast<__m256i *>(out + x),
                            _mm256_or_si256(_mm256_shuffle_epi8(both, spreadLow), base));
        _mm256_storeu_si256(reinterpret_cast<__m256i *>(out + x + 8),
                            _mm256_or_si256(_mm256_shuffle_epi8(both, spreadHigh), base));
    }
    return x;
}

__attribute__((target("avx2"))) int extractTonesAvx2(const std::uint32_t *pixels, int shift, int x, int end,
                                                     std::uint8_t *out)
{
    const __m128i count = _mm_cvtsi32_si128(shift);
    const __m256i mask = _mm256_set1_epi32(0xFF);
    // The packs interleave the four registers' halves; this puts them back.
    const __m256i order = _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7);
    for (; x + 32 <= end; x += 32) {
        __m256i v[4];
        for (int i = 0; i < 4; ++i) {
            v[i] = _mm256_and_si256(
                _mm256_srl_epi32(_mm256_loadu_si256(reinterpret_cast<const __m256i *>(pixels + x + 8 * i)), count),
                mask);
        }
        const __m256i bytes = _mm256_packus_epi16(_mm256_packus_epi32(v[0], v[1]), _mm256_packus_epi32(v[2], v[3]));
        _mm256_storeu_si256(reinterpret_cast<__m256i *>(out + x), _mm256_permutevar8x32_epi32(bytes, order));
    }
    return x;
}
#endif

void extractTones(const std::uint32_t *pixels, int shift, int x, int end, std::uint8_t *out)
{
#ifdef KELVO_X86_SCALER
    x = cpuHasAvx2() ? extractTonesAvx2(pixels, shift, x, end, out) : x;
#endif
    extractTonesPortable(pixels, shift, x, end, out);
}

void blendToneRows(const std::uint8_t *upper, const std::uint8_t *lower, unsigned down, const ColourCurve::Tone &tone,
                   const std::uint8_t *spread, int x, int end, std::uint32_t *out)
{
#ifdef KELVO_X86_SCALER
    x = cpuHasAvx2() ? blendToneRowsAvx2(upper, lower, down, tone, spread, x, end, out) : x;
#else
    (void)spread;
#endif
    blendToneRowsPortable(upper, lower, down, tone, x, end, out);
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

const std::uint32_t *LivePictureScaler::convertedRow(int row)
{
    if (m_rowPixels.size() < std::size_t(m_frameWidth)) {
        m_rowPixels.resize(std::size_t(m_frameWidth));
    }
    m_converter.convert(row, m_firstColumn, m_endColumn, m_rowPixels.data());
    ++m_rowsConverted;
    return m_rowPixels.data();
}

template <typename Pixel> const Pixel *LivePictureScaler::RowSlots<Pixel>::find(int row) const
{
    for (int slot = 0; slot < 2; ++slot) {
        if (rowInSlot[slot] == row) {
            return rows[slot].data();
        }
    }
    return nullptr;
}

template <typename Pixel> void LivePictureScaler::RowSlots<Pixel>::forget()
{
    rowInSlot[0] = rowInSlot[1] = -1;
}

template <typename Pixel> Pixel *LivePictureScaler::RowSlots<Pixel>::claim(int row, int keep, std::size_t size)
{
    const int slot = rowInSlot[0] == keep ? 1 : 0;
    if (rows[slot].size() < size) {
        rows[slot].resize(size);
    }
    rowInSlot[slot] = row;
    return rows[slot].data();
}

const std::uint32_t *LivePictureScaler::scaledRow(int row, int keep, int width)
{
    if (const std::uint32_t *done = m_scaledRows.find(row)) {
        return done;
    }
    std::uint32_t *out = m_scaledRows.claim(row, keep, std::size_t(width));
    const std::uint32_t *source = convertedRow(row);
    const int *first = m_columns.first.data();
    // The picture's columns are one run: black before and after it.
    std::fill(out, out + m_insideBegin, kBlack);
    std::fill(out + m_insideEnd, out + width, kBlack);
    int x = m_insideBegin;
#ifdef KELVO_X86_SCALER
    if (cpuHasAvx2()) {
        x = blendColumnsAvx2(source, m_frameWidth, first, m_columns.second.data(), m_columns.weight.data(), x,
                             m_insideEnd, out);
    }
#endif
    blendColumnsPortable(source, first, m_columns.second.data(), m_columns.weight.data(), x, m_insideEnd, out);
    return out;
}

void LivePictureScaler::prepareTone()
{
    for (int i = 0; i < 64; ++i) {
        // Byte i of the output is channel i % 4 of pixel i / 4; the pixel's
        // tone stands at its own position in both halves of the register.
        const int pixel = i / 4, channel = i % 4;
        m_toneSpread[std::size_t(i)] =
            ((m_tone->channels >> (8 * channel)) & 0xFFu) != 0 ? std::uint8_t(pixel) : std::uint8_t(0x80);
    }
    const int blocks = (m_insideEnd - m_insideBegin) / 16;
    m_toneLows.assign(std::size_t(std::max(blocks, 0)), -1);
    m_toneShuffles.resize(m_toneLows.size());
    for (int block = 0; block < blocks; ++block) {
        const int x = m_insideBegin + 16 * block;
        const auto first = m_columns.first.begin() + x, second = m_columns.second.begin() + x;
        const int low = std::min(*std::min_element(first, first + 16), *std::min_element(second, second + 16));
        const int high = std::max(*std::max_element(first, first + 16), *std::max_element(second, second + 16));
        if (high - low >= 32) {
            continue;
        }
        ToneShuffle &control = m_toneShuffles[std::size_t(block)];
        for (int i = 0; i < 16; ++i) {
            const int taps[2] = {first[i] - low, second[i] - low};
            for (int which = 0; which < 2; ++which) {
                // A control byte with its top bit set picks zero, so each
                // tap comes from exactly one half.
                control[std::size_t(32 * which + i)] = taps[which] < 16 ? std::uint8_t(taps[which]) : 0x80;
                control[std::size_t(32 * which + 16 + i)] = taps[which] >= 16 ? std::uint8_t(taps[which] - 16) : 0x80;
            }
        }
        m_toneLows[std::size_t(block)] = low;
    }
}

const std::uint8_t *LivePictureScaler::scaledToneRow(int row, int keep, int width)
{
    if (const std::uint8_t *done = m_scaledTones.find(row)) {
        return done;
    }
    std::uint8_t *out = m_scaledTones.claim(row, keep, std::size_t(width));
    const std::uint32_t *pixels = convertedRow(row);
    // Room past the frame's last column for a whole window.
    if (m_rowTones.size() < std::size_t(m_frameWidth) + 32) {
        m_rowTones.resize(std::size_t(m_frameWidth) + 32);
    }
    extractTones(pixels, m_tone->shift, m_firstColumn, m_endColumn, m_rowTones.data());
    const std::uint8_t *tones = m_rowTones.data();
    const int *first = m_columns.first.data();
    const int *second = m_columns.second.data();
    const std::uint16_t *weight = m_columns.weight.data();
    int x = m_insideBegin;
#ifdef KELVO_X86_SCALER
    if (cpuHasAvx2()) {
        x = blendToneColumnsAvx2(tones, first, second, weight, m_toneLows.data(), m_toneShuffles.data(), x, m_insideEnd,
                                 out);
    }
#endif
    blendToneColumnsPortable(tones, first, second, weight, x, m_insideEnd, out);
    return out;
}

bool LivePictureScaler::render(const VideoFrame &frame, const ColourCurve *curve, const AxisAlignedPlacement &placement,
                               const Area &area, std::uint32_t *target, std::ptrdiff_t strideBytes)
{
    if (target == nullptr || !m_converter.prepare(frame, curve)) {
        return false;
    }
    m_frameWidth = frame.width;
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
    m_scaledRows.forget();
    m_scaledTones.forget();
    m_tone = curve != nullptr ? curve->tone() : nullptr;
    if (m_tone != nullptr) {
        prepareTone();
    }

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
        if (m_tone != nullptr) {
            const std::uint8_t *upper = scaledToneRow(top, bottom, area.width);
            const std::uint8_t *lower = down != 0 ? scaledToneRow(bottom, top, area.width) : upper;
            std::fill(out, out + m_insideBegin, kBlack);
            std::fill(out + m_insideEnd, out + area.width, kBlack);
            blendToneRows(upper, lower, down, *m_tone, m_toneSpread.data(), m_insideBegin, m_insideEnd, out);
            continue;
        }
        const std::uint32_t *upper = scaledRow(top, bottom, area.width);
        if (down == 0) {
            std::copy_n(upper, area.width, out);
            continue;
        }
        blendRows(upper, scaledRow(bottom, top, area.width), down, area.width, out);
    }
    return true;
}

} // namespace kelvo::video
