#include "video/FrameConversion.h"

#include <algorithm>
#include <cmath>
#include <vector>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define KELVO_X86_KERNELS 1
#endif

namespace kelvo::video {

// The arithmetic is done in exact integers. Every term of the conversion is a
// multiple of 1/2 560 000 (constants with three decimals, divided by 256, and
// Y' with one decimal), so with D = 2 560 000 each channel is N / D for an
// integer N that fits in 32 bits, and truncation-then-clamping is
// clamp(floor(N / D)). That agrees with the double-precision arithmetic on
// every input except where N / D is an exact integer and the double sum lands
// a hair below it; that happens only for green, only at a few dozen of the
// 16.7 million (Y, Cb, Cr) triples, and those are detected (N's low bits all
// zero) and recomputed in double precision. The vector kernels carry on with
// the exact result and then redo only those pixels, one at a time.
namespace {

constexpr std::int32_t kLumaScale = 298082;     // 298.082 · 1000, applied to 10·Y'
constexpr std::int32_t kRedCr = 4085830;        // 408.583 · 10 000
constexpr std::int32_t kRedConst = -570677760;  // −222.921 · D
constexpr std::int32_t kGreenCb = -1002910;     // −100.291 · 10 000
constexpr std::int32_t kGreenCr = -2081200;     // −208.12 · 10 000
constexpr std::int32_t kGreenConst = 347074560; // 135.576 · D
constexpr std::int32_t kBlueCb = 5164120;       // 516.412 · 10 000
constexpr std::int32_t kBlueConst = -708700160; // −276.836 · D
// floor(N / D) = floor((N >> 12) / 625); 160 000 = 256 · 625.
constexpr std::int32_t kQuantLimit = 159999;

struct Params {
    int lumaTenths;                  // −160·k, so that 10·Y' = 10·Y + lumaTenths
    double k;                        // for the few exact-integer green values
    const std::uint32_t *curveTable; // null for the identity
    // Settling text and paper without look-ups (see ColourCurve).
    int textLimitByte = -1;
    int paperLimitByte = 256;
    int paperLimitRedGreen = 256;
    float paperLimitSum = 1e9f;
    float textLimitSum = -1.0f;
    std::uint32_t textPixel = 0, paperPixel = 0;
    // Per chroma pair, Cb + 256·Cr: the luma values below the low half give
    // plain text, those from the high half on plain paper (see lumaBounds).
    const std::uint32_t *lumaBounds = nullptr;
};

std::uint8_t quantise(std::int32_t n)
{
    n >>= 12;
    n = std::clamp(n, 0, kQuantLimit);
    return static_cast<std::uint8_t>(n / 625);
}

bool isExactInteger(std::int32_t n)
{
    return (n & 4095) == 0 && (n >> 12) % 625 == 0;
}

std::uint32_t packPixel(std::uint8_t r, std::uint8_t g, std::uint8_t b, const std::uint32_t *curveTable)
{
    if (curveTable) {
        return curveTable[ColourCurve::sampleIndex(r, g, b)];
    }
    return 0xFF000000u | (std::uint32_t(r) << 16) | (std::uint32_t(g) << 8) | b;
}

std::uint32_t convertPixel(int y, int cb, int cr, const Params &p)
{
    if (p.lumaBounds != nullptr) {
        const std::uint32_t bounds = p.lumaBounds[cb | (cr << 8)];
        if (std::uint32_t(y) < (bounds & 0xFFFF)) {
            return p.textPixel;
        }
        if (std::uint32_t(y) >= bounds >> 16) {
            return p.paperPixel;
        }
    }
    const std::int32_t yTerm = (10 * y + p.lumaTenths) * kLumaScale;
    const std::int32_t nR = yTerm + cr * kRedCr + kRedConst;
    const std::int32_t nG = yTerm + cb * kGreenCb + cr * kGreenCr + kGreenConst;
    const std::int32_t nB = yTerm + cb * kBlueCb + kBlueConst;
    const std::uint8_t g = isExactInteger(nG) ? convertYCbCrPixel(y, cb, cr, p.k).g : quantise(nG);
    return packPixel(quantise(nR), g, quantise(nB), p.curveTable);
}

// The first y in 0..256 for which passes(y) holds, where passes holds
// from some y on and always at 256: bracketed outward from guess by
// doubling steps, then bisected, so a good guess costs a few calls.
template <typename Passes> int firstPassingFrom(int guess, const Passes &passes)
{
    int low = 0, high = 256;
    if (passes(guess)) {
        high = guess;
        for (int step = 1; guess - step >= 0; step *= 2) {
            if (!passes(guess - step)) {
                low = guess - step + 1;
                break;
            }
            high = guess - step;
        }
    } else {
        low = guess + 1;
        for (int step = 1; low < high; step *= 2) {
            const int y = std::min(guess + step, 256);
            if (passes(y)) {
                high = y;
                break;
            }
            low = y + 1;
        }
    }
    while (low < high) {
        const int mid = (low + high) / 2;
        if (passes(mid)) {
            high = mid;
        } else {
            low = mid + 1;
        }
    }
    return low;
}

// For each chroma pair, how many luma values from 0 up give plain text (the
// curve's flat start), and the first from which on every one gives plain
// paper (256 for none). Every channel only grows with the luma, and the
// curve's index with every channel, so each bound is a search; neighbouring
// pairs have close bounds, so each search starts from the last answer.
std::vector<std::uint32_t> lumaBounds(const ColourCurve &curve, const Params &plain)
{
    std::vector<std::uint32_t> bounds(65536);
    int textEnd = 128, paperStart = 128;
    for (int chroma = 0; chroma < 65536; ++chroma) {
        const int cb = chroma & 0xFF, cr = chroma >> 8;
        if (cb == 0 && cr > 0) {
            // A row of pairs starts from the one above, not from the far
            // end of the last row.
            textEnd = int(bounds[std::size_t(chroma - 256)] & 0xFFFF);
            paperStart = int(bounds[std::size_t(chroma - 256)] >> 16);
        }
        const auto indexAbove = [&](int limit) {
            return [&, limit](int y) {
                if (y >= 256) {
                    return true;
                }
                const std::uint32_t px = convertPixel(y, cb, cr, plain);
                return ColourCurve::sampleIndex(std::uint8_t(px >> 16), std::uint8_t(px >> 8), std::uint8_t(px)) >
                       limit;
            };
        };
        textEnd = firstPassingFrom(textEnd, indexAbove(curve.flatBelow()));
        paperStart = firstPassingFrom(paperStart, indexAbove(curve.flatAbove() - 1));
        bounds[std::size_t(chroma)] = std::uint32_t(textEnd) | (std::uint32_t(paperStart) << 16);
    }
    return bounds;
}

Params makeParams(double k, const ColourCurve *curve)
{
    Params p{static_cast<int>(std::lround(-160.0 * k)), k, nullptr};
    if (curve == nullptr || curve->isIdentity()) {
        return p;
    }
    const Params plain = p;
    p.curveTable = curve->table();
    p.textLimitByte = curve->textLimitByte();
    p.paperLimitByte = curve->paperLimitByte();
    p.paperLimitRedGreen = curve->paperLimitRedGreen();
    p.paperLimitSum = float(curve->paperLimitSum());
    p.textLimitSum = float(curve->textLimitSum());
    p.textPixel = curve->table()[0];
    p.paperPixel = curve->table()[ColourCurve::kSize - 1];
    p.lumaBounds = curve->derivedTable(p.lumaTenths, [&] { return lumaBounds(*curve, plain); }).data();
    return p;
}

// Where one row's pairs of pixels sharing a chroma sample lie: the packed
// layout's (Y0, Y1) and the bi-planar layout's even and odd luma.
struct PairLayout {
    const std::uint8_t *luma;
    int lumaStep, lumaPhase; // bytes from pair to pair, and to the second luma
    const std::uint8_t *chroma;
    int chromaStep, cbOffset, crOffset;

    static PairLayout packed(const std::uint8_t *row) { return {row + 1, 4, 2, row, 4, 0, 2}; }
    static PairLayout biPlanar(const std::uint8_t *luma, const std::uint8_t *chroma)
    {
        return {luma, 2, 1, chroma, 2, 0, 1};
    }
    // The first (phase 0) or second (phase 1) pixel of a pair.
    std::uint32_t pixel(int pair, int phase, const Params &p) const
    {
        const std::uint8_t *c = chroma + pair * chromaStep;
        return convertPixel(luma[pair * lumaStep + phase * lumaPhase], c[cbOffset], c[crOffset], p);
    }
};

// Converts pairs [first, last) of one row.
void convertPairsPortable(const PairLayout &row, int first, int last, std::uint32_t *out, const Params &p)
{
    for (int i = first; i < last; ++i) {
        out[2 * i] = row.pixel(i, 0, p);
        out[2 * i + 1] = row.pixel(i, 1, p);
    }
}

// Redoes single pixels of a vector group: bit n < lanes is the first pixel of
// pair first + n, bit lanes + n its second.
void redoFlaggedPixels(unsigned flagged, int lanes, const PairLayout &row, int first, std::uint32_t *out,
                       const Params &p)
{
    while (flagged != 0) {
        const int bit = __builtin_ctz(flagged);
        flagged &= flagged - 1;
        const int pair = first + bit % lanes;
        const int phase = bit / lanes;
        out[2 * pair + phase] = row.pixel(pair, phase, p);
    }
}

#ifdef KELVO_X86_KERNELS

bool cpuHasAvx2()
{
    static const bool has = __builtin_cpu_supports("avx2") != 0 && __builtin_cpu_supports("fma") != 0;
    return has;
}

#define KELVO_AVX2 __attribute__((target("avx2,fma")))
// The steps of one vector group go into one loop body: a call between them
// would spill every register.
#define KELVO_AVX2_STEP __attribute__((target("avx2,fma"), always_inline)) inline

// floor(N / D) for eight sums, not yet clamped to 0..255: (n + 0.5) / 625 is
// never within 0.0008 of an integer, far beyond the single-precision error,
// so truncating it gives floor(n / 625) exactly. Values below zero truncate
// to zero or less, and clamping is left to the caller.
KELVO_AVX2_STEP __m256i quantiseAvx2(__m256i n)
{
    const __m256 f = _mm256_cvtepi32_ps(_mm256_srai_epi32(n, 12));
    const __m256 inv = _mm256_set1_ps(1.0f / 625.0f);
    return _mm256_cvttps_epi32(_mm256_fmadd_ps(f, inv, _mm256_mul_ps(_mm256_set1_ps(0.5f), inv)));
}

KELVO_AVX2_STEP __m256i clampByte(__m256i v)
{
    return _mm256_min_epi32(_mm256_max_epi32(v, _mm256_setzero_si256()), _mm256_set1_epi32(255));
}

struct Rgb8x8 {
    __m256i r, g, b; // unclamped
};

// Eight pixels from their luma and the shared chroma terms. Returns a bit
// for each pixel whose green sum may be an exact integer.
KELVO_AVX2_STEP unsigned convert8Avx2(__m256i y, __m256i cR, __m256i cG, __m256i cB, __m256i lumaOffset, Rgb8x8 &out)
{
    const __m256i yTerm = _mm256_add_epi32(_mm256_mullo_epi32(y, _mm256_set1_epi32(10 * kLumaScale)), lumaOffset);
    const __m256i nG = _mm256_add_epi32(yTerm, cG);
    const __m256i exact = _mm256_cmpeq_epi32(_mm256_and_si256(nG, _mm256_set1_epi32(4095)), _mm256_setzero_si256());
    out.r = quantiseAvx2(_mm256_add_epi32(yTerm, cR));
    out.g = quantiseAvx2(nG);
    out.b = quantiseAvx2(_mm256_add_epi32(yTerm, cB));
    return unsigned(_mm256_movemask_ps(_mm256_castsi256_ps(exact)));
}

// The exact tables, for a group with a pixel near the ramp: rare enough to
// stay out of the loop body.
KELVO_AVX2 __attribute__((noinline)) __m256i curveFromTablesAvx2(const Rgb8x8 &px, const Params &p)
{
    const __m256i r = clampByte(px.r), g = clampByte(px.g), b = clampByte(px.b);
    const auto &lt = ColourCurve::lumaTable();
    __m256i sum = _mm256_i32gather_epi32(reinterpret_cast<const int *>(lt[0].data()), r, 4);
    sum = _mm256_add_epi32(sum, _mm256_i32gather_epi32(reinterpret_cast<const int *>(lt[1].data()), g, 4));
    sum = _mm256_add_epi32(sum, _mm256_i32gather_epi32(reinterpret_cast<const int *>(lt[2].data()), b, 4));
    sum = _mm256_add_epi32(sum, _mm256_set1_epi32(1 << (ColourCurve::kLumaFractionBits - 1)));
    const __m256i index = _mm256_srli_epi32(sum, ColourCurve::kLumaFractionBits);
    return _mm256_i32gather_epi32(reinterpret_cast<const int *>(p.curveTable), index, 4);
}

// The curve's output for eight pixels. Most pixels are plainly text or
// paper, and a few comparisons settle them without looking anything up.
KELVO_AVX2_STEP __m256i applyCurveAvx2(const Rgb8x8 &px, const Params &p)
{
    // Unclamped values keep the tests safe: a channel below zero counts as
    // darker than black, one above 255 as brighter than white.
    const __m256i brightest = _mm256_max_epi32(_mm256_max_epi32(px.r, px.g), px.b);
    const __m256i text = _mm256_cmpgt_epi32(_mm256_set1_epi32(p.textLimitByte + 1), brightest);
    const __m256i darkestRedGreen = _mm256_min_epi32(px.r, px.g);
    const __m256i darkest = _mm256_min_epi32(darkestRedGreen, px.b);
    const __m256i plainPaper =
        _mm256_or_si256(_mm256_cmpgt_epi32(darkest, _mm256_set1_epi32(p.paperLimitByte - 1)),
                        _mm256_cmpgt_epi32(darkestRedGreen, _mm256_set1_epi32(p.paperLimitRedGreen - 1)));
    if (_mm256_movemask_ps(_mm256_castsi256_ps(_mm256_or_si256(text, plainPaper))) == 0xFF) {
        return _mm256_blendv_epi8(_mm256_set1_epi32(int(p.textPixel)), _mm256_set1_epi32(int(p.paperPixel)),
                                  plainPaper);
    }
    // Tinted paper may fail the darkest-channel bound, and dark colours the
    // brightest-channel one; the weighted sum of the clamped channels
    // settles both.
    const __m256i top = _mm256_set1_epi32(255);
    const __m256i none = _mm256_setzero_si256();
    const __m256 weighted = _mm256_fmadd_ps(
        _mm256_cvtepi32_ps(_mm256_max_epi32(_mm256_min_epi32(px.r, top), none)), _mm256_set1_ps(float(kLumaR)),
        _mm256_fmadd_ps(_mm256_cvtepi32_ps(_mm256_max_epi32(_mm256_min_epi32(px.g, top), none)),
                        _mm256_set1_ps(float(kLumaG)),
                        _mm256_mul_ps(_mm256_cvtepi32_ps(_mm256_max_epi32(_mm256_min_epi32(px.b, top), none)),
                                      _mm256_set1_ps(float(kLumaB)))));
    const __m256i paper = _mm256_castps_si256(_mm256_cmp_ps(weighted, _mm256_set1_ps(p.paperLimitSum), _CMP_GE_OQ));
    const __m256i darkColour = _mm256_castps_si256(_mm256_cmp_ps(weighted, _mm256_set1_ps(p.textLimitSum), _CMP_LT_OQ));
    const __m256i textAtAll = _mm256_or_si256(text, darkColour);
    if (_mm256_movemask_ps(_mm256_castsi256_ps(_mm256_or_si256(textAtAll, paper))) == 0xFF) {
        return _mm256_blendv_epi8(_mm256_set1_epi32(int(p.textPixel)), _mm256_set1_epi32(int(p.paperPixel)), paper);
    }
    return curveFromTablesAvx2(px, p);
}

// Writes eight first and eight second pixels of pairs in order.
KELVO_AVX2_STEP void storePairsAvx2(__m256i e, __m256i o, std::uint32_t *out)
{
    const __m256i lo = _mm256_unpacklo_epi32(e, o);
    const __m256i hi = _mm256_unpackhi_epi32(e, o);
    _mm256_storeu_si256(reinterpret_cast<__m256i *>(out), _mm256_permute2x128_si256(lo, hi, 0x20));
    _mm256_storeu_si256(reinterpret_cast<__m256i *>(out + 8), _mm256_permute2x128_si256(lo, hi, 0x31));
}

// Settles sixteen pixels of plain text or paper by their chroma's luma
// bounds alone, with no arithmetic: false, writing nothing, when any of
// them lies between.
KELVO_AVX2_STEP bool settleByLumaBoundsAvx2(__m256i y0, __m256i y1, __m256i cb, __m256i cr, const Params &p,
                                            std::uint32_t *out)
{
    const __m256i bounds = _mm256_i32gather_epi32(reinterpret_cast<const int *>(p.lumaBounds),
                                                  _mm256_or_si256(cb, _mm256_slli_epi32(cr, 8)), 4);
    const __m256i textEnd = _mm256_and_si256(bounds, _mm256_set1_epi32(0xFFFF));
    const __m256i lastNotPaper = _mm256_sub_epi32(_mm256_srli_epi32(bounds, 16), _mm256_set1_epi32(1));
    const __m256i paper0 = _mm256_cmpgt_epi32(y0, lastNotPaper);
    const __m256i paper1 = _mm256_cmpgt_epi32(y1, lastNotPaper);
    const __m256i settled = _mm256_and_si256(_mm256_or_si256(_mm256_cmpgt_epi32(textEnd, y0), paper0),
                                             _mm256_or_si256(_mm256_cmpgt_epi32(textEnd, y1), paper1));
    if (_mm256_movemask_ps(_mm256_castsi256_ps(settled)) != 0xFF) {
        return false;
    }
    const __m256i text = _mm256_set1_epi32(int(p.textPixel));
    const __m256i paper = _mm256_set1_epi32(int(p.paperPixel));
    storePairsAvx2(_mm256_blendv_epi8(text, paper, paper0), _mm256_blendv_epi8(text, paper, paper1), out);
    return true;
}

// Sixteen pixels from eight lanes of (first luma, second luma, Cb, Cr),
// written in order first, second, first, second... Returns the pixels to
// redo one by one: bits 0..7 first, 8..15 second.
template <bool kCurve>
KELVO_AVX2_STEP unsigned convert16Avx2(__m256i y0, __m256i y1, __m256i cb, __m256i cr, __m256i lumaOffset,
                                       const Params &p, std::uint32_t *out)
{
    if (kCurve && p.lumaBounds != nullptr && settleByLumaBoundsAvx2(y0, y1, cb, cr, p, out)) {
        return 0;
    }
    const __m256i cR =
        _mm256_add_epi32(_mm256_mullo_epi32(cr, _mm256_set1_epi32(kRedCr)), _mm256_set1_epi32(kRedConst));
    const __m256i cG = _mm256_add_epi32(_mm256_add_epi32(_mm256_mullo_epi32(cb, _mm256_set1_epi32(kGreenCb)),
                                                         _mm256_mullo_epi32(cr, _mm256_set1_epi32(kGreenCr))),
                                        _mm256_set1_epi32(kGreenConst));
    const __m256i cB =
        _mm256_add_epi32(_mm256_mullo_epi32(cb, _mm256_set1_epi32(kBlueCb)), _mm256_set1_epi32(kBlueConst));
    Rgb8x8 even, odd;
    const unsigned flagged =
        convert8Avx2(y0, cR, cG, cB, lumaOffset, even) | (convert8Avx2(y1, cR, cG, cB, lumaOffset, odd) << 8);
    __m256i e, o;
    if constexpr (kCurve) {
        e = applyCurveAvx2(even, p);
        o = applyCurveAvx2(odd, p);
    } else {
        // Saturating packs clamp to 0..255 on the way to bytes B, G, R, A.
        // Each 128-bit half holds four even and four odd pixels.
        const __m256i r16 = _mm256_packs_epi32(even.r, odd.r);
        const __m256i g16 = _mm256_packs_epi32(even.g, odd.g);
        const __m256i b16 = _mm256_packs_epi32(even.b, odd.b);
        const __m256i br = _mm256_packus_epi16(b16, r16);                    // B even, B odd, R even, R odd
        const __m256i ga = _mm256_packus_epi16(g16, _mm256_set1_epi16(255)); // G even, G odd, A
        const __m256i bgPairs = _mm256_unpacklo_epi8(br, ga);                // B G of even, then odd pixels
        const __m256i raPairs = _mm256_unpackhi_epi8(br, ga);                // R A of even, then odd pixels
        e = _mm256_unpacklo_epi16(bgPairs, raPairs);                         // even pixels B G R A
        o = _mm256_unpackhi_epi16(bgPairs, raPairs);                         // odd pixels B G R A
    }
    storePairsAvx2(e, o, out);
    return flagged;
}

template <bool kCurve>
KELVO_AVX2 int convertUyvyPairsAvx2(const std::uint8_t *row, int pairs, std::uint32_t *out, const Params &p)
{
    const __m256i lumaOffset = _mm256_set1_epi32(p.lumaTenths * kLumaScale);
    const __m256i byteMask = _mm256_set1_epi32(0xFF);
    int i = 0;
    for (; i + 8 <= pairs; i += 8) {
        const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(row + 4 * i));
        const __m256i cb = _mm256_and_si256(v, byteMask);
        const __m256i y0 = _mm256_and_si256(_mm256_srli_epi32(v, 8), byteMask);
        const __m256i cr = _mm256_and_si256(_mm256_srli_epi32(v, 16), byteMask);
        const __m256i y1 = _mm256_srli_epi32(v, 24);
        if (const unsigned flagged = convert16Avx2<kCurve>(y0, y1, cb, cr, lumaOffset, p, out + 2 * i)) {
            redoFlaggedPixels(flagged, 8, PairLayout::packed(row), i, out, p);
        }
    }
    return i;
}

template <bool kCurve>
KELVO_AVX2 int convertNv12PairsAvx2(const std::uint8_t *luma, const std::uint8_t *chroma, int pairs, std::uint32_t *out,
                                    const Params &p)
{
    const __m256i lumaOffset = _mm256_set1_epi32(p.lumaTenths * kLumaScale);
    const __m256i byteMask = _mm256_set1_epi32(0xFF);
    int i = 0;
    for (; i + 8 <= pairs; i += 8) {
        const __m256i l = _mm256_cvtepu16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i *>(luma + 2 * i)));
        const __m256i c = _mm256_cvtepu16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i *>(chroma + 2 * i)));
        const __m256i y0 = _mm256_and_si256(l, byteMask);
        const __m256i y1 = _mm256_srli_epi32(l, 8);
        const __m256i cb = _mm256_and_si256(c, byteMask);
        const __m256i cr = _mm256_srli_epi32(c, 8);
        if (const unsigned flagged = convert16Avx2<kCurve>(y0, y1, cb, cr, lumaOffset, p, out + 2 * i)) {
            redoFlaggedPixels(flagged, 8, PairLayout::biPlanar(luma, chroma), i, out, p);
        }
    }
    return i;
}

// GCC 12 warns about the deliberately undefined registers inside its own
// AVX-512 headers at -O3; the warning concerns the headers, not this code.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#pragma GCC diagnostic ignored "-Wuninitialized"

#define KELVO_AVX512 __attribute__((target("avx512f,avx512bw,fma")))
#define KELVO_AVX512_STEP __attribute__((target("avx512f,avx512bw,fma"), always_inline)) inline

bool cpuHasAvx512()
{
    static const bool has = __builtin_cpu_supports("avx512f") != 0 && __builtin_cpu_supports("avx512bw") != 0 &&
                            __builtin_cpu_supports("fma") != 0;
    return has;
}

// The same steps as the 256-bit kernel above, sixteen lanes at a time.
KELVO_AVX512_STEP __m512i quantiseAvx512(__m512i n)
{
    const __m512 f = _mm512_cvtepi32_ps(_mm512_srai_epi32(n, 12));
    const __m512 inv = _mm512_set1_ps(1.0f / 625.0f);
    return _mm512_cvttps_epi32(_mm512_fmadd_ps(f, inv, _mm512_mul_ps(_mm512_set1_ps(0.5f), inv)));
}

struct Rgb8x16 {
    __m512i r, g, b; // unclamped
};

KELVO_AVX512_STEP unsigned convert16LanesAvx512(__m512i y, __m512i cR, __m512i cG, __m512i cB, __m512i lumaOffset,
                                                Rgb8x16 &out)
{
    const __m512i yTerm = _mm512_add_epi32(_mm512_mullo_epi32(y, _mm512_set1_epi32(10 * kLumaScale)), lumaOffset);
    const __m512i nG = _mm512_add_epi32(yTerm, cG);
    out.r = quantiseAvx512(_mm512_add_epi32(yTerm, cR));
    out.g = quantiseAvx512(nG);
    out.b = quantiseAvx512(_mm512_add_epi32(yTerm, cB));
    return _mm512_testn_epi32_mask(nG, _mm512_set1_epi32(4095));
}

// Thirty-two pixels from sixteen lanes of (first luma, second luma, Cb, Cr),
// with no colour mode: a coloured picture goes through the 256-bit kernel,
// whose luma bounds settle most of its pixels without this arithmetic.
KELVO_AVX512_STEP unsigned convert32Avx512(__m512i y0, __m512i y1, __m512i cb, __m512i cr, __m512i lumaOffset,
                                           std::uint32_t *out)
{
    const __m512i cR =
        _mm512_add_epi32(_mm512_mullo_epi32(cr, _mm512_set1_epi32(kRedCr)), _mm512_set1_epi32(kRedConst));
    const __m512i cG = _mm512_add_epi32(_mm512_add_epi32(_mm512_mullo_epi32(cb, _mm512_set1_epi32(kGreenCb)),
                                                         _mm512_mullo_epi32(cr, _mm512_set1_epi32(kGreenCr))),
                                        _mm512_set1_epi32(kGreenConst));
    const __m512i cB =
        _mm512_add_epi32(_mm512_mullo_epi32(cb, _mm512_set1_epi32(kBlueCb)), _mm512_set1_epi32(kBlueConst));
    Rgb8x16 even, odd;
    const unsigned flagged = convert16LanesAvx512(y0, cR, cG, cB, lumaOffset, even) |
                             (convert16LanesAvx512(y1, cR, cG, cB, lumaOffset, odd) << 16);
    const __m512i r16 = _mm512_packs_epi32(even.r, odd.r);
    const __m512i g16 = _mm512_packs_epi32(even.g, odd.g);
    const __m512i b16 = _mm512_packs_epi32(even.b, odd.b);
    const __m512i br = _mm512_packus_epi16(b16, r16);
    const __m512i ga = _mm512_packus_epi16(g16, _mm512_set1_epi16(255));
    const __m512i bgPairs = _mm512_unpacklo_epi8(br, ga);
    const __m512i raPairs = _mm512_unpackhi_epi8(br, ga);
    const __m512i e = _mm512_unpacklo_epi16(bgPairs, raPairs);
    const __m512i o = _mm512_unpackhi_epi16(bgPairs, raPairs);
    // Each 128-bit lane k holds pairs 4k..4k+3: two pairs in lo, two in hi.
    const __m512i lo = _mm512_unpacklo_epi32(e, o);
    const __m512i hi = _mm512_unpackhi_epi32(e, o);
    const __m512i first = _mm512_set_epi64(11, 10, 3, 2, 9, 8, 1, 0);
    const __m512i second = _mm512_set_epi64(15, 14, 7, 6, 13, 12, 5, 4);
    _mm512_storeu_si512(out, _mm512_permutex2var_epi64(lo, first, hi));
    _mm512_storeu_si512(out + 16, _mm512_permutex2var_epi64(lo, second, hi));
    return flagged;
}

KELVO_AVX512 int convertUyvyPairsAvx512(const std::uint8_t *row, int pairs, std::uint32_t *out, const Params &p)
{
    const __m512i lumaOffset = _mm512_set1_epi32(p.lumaTenths * kLumaScale);
    const __m512i byteMask = _mm512_set1_epi32(0xFF);
    int i = 0;
    for (; i + 16 <= pairs; i += 16) {
        const __m512i v = _mm512_loadu_si512(row + 4 * i);
        const __m512i cb = _mm512_and_si512(v, byteMask);
        const __m512i y0 = _mm512_and_si512(_mm512_srli_epi32(v, 8), byteMask);
        const __m512i cr = _mm512_and_si512(_mm512_srli_epi32(v, 16), byteMask);
        const __m512i y1 = _mm512_srli_epi32(v, 24);
        if (const unsigned flagged = convert32Avx512(y0, y1, cb, cr, lumaOffset, out + 2 * i)) {
            redoFlaggedPixels(flagged, 16, PairLayout::packed(row), i, out, p);
        }
    }
    return i;
}

KELVO_AVX512 int convertNv12PairsAvx512(const std::uint8_t *luma, const std::uint8_t *chroma, int pairs,
                                        std::uint32_t *out, const Params &p)
{
    const __m512i lumaOffset = _mm512_set1_epi32(p.lumaTenths * kLumaScale);
    const __m512i byteMask = _mm512_set1_epi32(0xFF);
    int i = 0;
    for (; i + 16 <= pairs; i += 16) {
        const __m512i l = _mm512_cvtepu16_epi32(_mm256_loadu_si256(reinterpret_cast<const __m256i *>(luma + 2 * i)));
        const __m512i c = _mm512_cvtepu16_epi32(_mm256_loadu_si256(reinterpret_cast<const __m256i *>(chroma + 2 * i)));
        const __m512i y0 = _mm512_and_si512(l, byteMask);
        const __m512i y1 = _mm512_srli_epi32(l, 8);
        const __m512i cb = _mm512_and_si512(c, byteMask);
        const __m512i cr = _mm512_srli_epi32(c, 8);
        if (const unsigned flagged = convert32Avx512(y0, y1, cb, cr, lumaOffset, out + 2 * i)) {
            redoFlaggedPixels(flagged, 16, PairLayout::biPlanar(luma, chroma), i, out, p);
        }
    }
    return i;
}

#pragma GCC diagnostic pop

#endif // KELVO_X86_KERNELS

enum class VectorWidth { None, Bits256, Bits512 };

VectorWidth vectorWidth(ConversionKernel kernel)
{
#ifdef KELVO_X86_KERNELS
    const bool wants512 = kernel == ConversionKernel::Best || kernel == ConversionKernel::Avx512;
    const bool wants256 = kernel == ConversionKernel::Best || kernel == ConversionKernel::Avx2;
    if (wants512 && cpuHasAvx512()) {
        return VectorWidth::Bits512;
    }
    if (wants256 && cpuHasAvx2()) {
        return VectorWidth::Bits256;
    }
#else
    (void)kernel;
#endif
    return VectorWidth::None;
}

void convertUyvyRow(const std::uint8_t *row, int width, int stride, std::uint32_t *out, const Params &p,
                    VectorWidth vector)
{
    const int pairs = width / 2;
    int done = 0;
#ifdef KELVO_X86_KERNELS
    if (vector == VectorWidth::Bits512 && p.curveTable == nullptr) {
        done = convertUyvyPairsAvx512(row, pairs, out, p);
    } else if (vector != VectorWidth::None) {
        done = p.curveTable ? convertUyvyPairsAvx2<true>(row, pairs, out, p)
                            : convertUyvyPairsAvx2<false>(row, pairs, out, p);
    }
#else
    (void)vector;
#endif
    const PairLayout layout = PairLayout::packed(row);
    convertPairsPortable(layout, done, pairs, out, p);
    if (width % 2 != 0) {
        // The last pixel of an odd row is the first half of a pair that the
        // row may or may not hold.
        const int last = width - 1;
        if (stride >= 4 * pairs + 3) {
            out[last] = layout.pixel(pairs, 0, p);
        } else {
            out[last] = width > 1 ? out[last - 1] : packPixel(0, 0, 0, p.curveTable);
        }
    }
}

void convertNv12Row(const std::uint8_t *luma, const std::uint8_t *chroma, int width, std::uint32_t *out,
                    const Params &p, VectorWidth vector)
{
    const int pairs = width / 2;
    int done = 0;
#ifdef KELVO_X86_KERNELS
    if (vector == VectorWidth::Bits512 && p.curveTable == nullptr) {
        done = convertNv12PairsAvx512(luma, chroma, pairs, out, p);
    } else if (vector != VectorWidth::None) {
        done = p.curveTable ? convertNv12PairsAvx2<true>(luma, chroma, pairs, out, p)
                            : convertNv12PairsAvx2<false>(luma, chroma, pairs, out, p);
    }
#else
    (void)vector;
#endif
    const PairLayout layout = PairLayout::biPlanar(luma, chroma);
    convertPairsPortable(layout, done, pairs, out, p);
    if (width % 2 != 0) {
        // The first pixel of a pair the row holds only half of.
        out[width - 1] = layout.pixel(pairs, 0, p);
    }
}

} // namespace

double lumaOffset(PixelFormat format, ColourRange range)
{
    if (format == PixelFormat::UYVY) {
        return -0.65;
    }
    return range == ColourRange::Video ? 1.0 : 0.0;
}

Rgb8 convertYCbCrPixel(int y, int cb, int cr, double k)
{
    const double yp = y - 16 * k;
    const double r = yp * 298.082 / 256 + cr * 408.583 / 256 - 222.921;
    const double g = yp * 298.082 / 256 - cb * 100.291 / 256 - cr * 208.12 / 256 + 135.576;
    const double b = yp * 298.082 / 256 + cb * 516.412 / 256 - 276.836;
    const auto channel = [](double v) {
        const double truncated = std::trunc(v);
        return static_cast<std::uint8_t>(std::clamp(truncated, 0.0, 255.0));
    };
    return {channel(r), channel(g), channel(b)};
}

bool isConvertible(const VideoFrame &frame)
{
    if (!frame.isValid()) {
        return false;
    }
    const int w = frame.width;
    switch (frame.format) {
    case PixelFormat::UYVY:
        return frame.strides[0] >= 4 * (w / 2) + (w % 2 != 0 ? 2 : 0);
    case PixelFormat::NV12:
        return frame.planes[1] != nullptr && frame.strides[0] >= w && frame.strides[1] >= 2 * ((w + 1) / 2);
    default:
        // Any other layout a device may offer is not the camera's.
        return false;
    }
}

bool convertFrameToRgb32(const VideoFrame &frame, std::uint32_t *dst, std::ptrdiff_t dstStrideBytes,
                         const ColourCurve *curve, ConversionKernel kernel, bool deinterlace)
{
    if (!isConvertible(frame) || dst == nullptr || dstStrideBytes < std::ptrdiff_t(frame.width) * 4) {
        return false;
    }
    const double k = lumaOffset(frame.format, frame.range);
    const Params params = makeParams(k, curve);
    const VectorWidth vector = vectorWidth(kernel);
    // Only the packed layout is deinterlaced: each odd row becomes the
    // average of the even rows around it (the odd field is dropped), and an
    // odd row with no even row two below its own repeats the row above.
    deinterlace = deinterlace && frame.format == PixelFormat::UYVY;
    // Only the bytes the row conversion reads: the last row may end there.
    const int rowBytes = std::min(frame.strides[0], 4 * ((frame.width + 1) / 2));
    std::vector<std::uint8_t> blended(deinterlace ? std::size_t(rowBytes) : 0);
    auto *out = reinterpret_cast<std::uint8_t *>(dst);
    for (int r = 0; r < frame.height; ++r) {
        auto *outRow = reinterpret_cast<std::uint32_t *>(out + r * dstStrideBytes);
        if (frame.format == PixelFormat::UYVY) {
            const int source = deinterlace ? (r & ~1) : r;
            const std::uint8_t *row = frame.planes[0] + std::ptrdiff_t(source) * frame.strides[0];
            if (deinterlace && r % 2 != 0 && r < frame.height - 2) {
                const std::uint8_t *below = row + 2 * std::ptrdiff_t(frame.strides[0]);
                for (std::size_t i = 0; i < blended.size(); ++i) {
                    blended[i] = static_cast<std::uint8_t>((row[i] + below[i]) >> 1);
                }
                row = blended.data();
            }
            convertUyvyRow(row, frame.width, frame.strides[0], outRow, params, vector);
        } else {
            convertNv12Row(frame.planes[0] + std::ptrdiff_t(r) * frame.strides[0],
                           frame.planes[1] + std::ptrdiff_t(r >> 1) * frame.strides[1], frame.width, outRow, params,
                           vector);
        }
    }
    return true;
}

struct FrameRowConverter::State {
    const VideoFrame *frame = nullptr;
    Params params{};
    VectorWidth vector = VectorWidth::None;
};

FrameRowConverter::FrameRowConverter() : m_state(std::make_unique<State>()) {}

FrameRowConverter::~FrameRowConverter() = default;

bool FrameRowConverter::prepare(const VideoFrame &frame, const ColourCurve *curve, ConversionKernel kernel)
{
    if (!isConvertible(frame)) {
        m_state->frame = nullptr;
        return false;
    }
    m_state->frame = &frame;
    m_state->params = makeParams(lumaOffset(frame.format, frame.range), curve);
    m_state->vector = vectorWidth(kernel);
    return true;
}

bool FrameRowConverter::convert(int row, int firstColumn, int endColumn, std::uint32_t *rowPixels) const
{
    const VideoFrame *frame = m_state->frame;
    if (frame == nullptr || rowPixels == nullptr || row < 0 || row >= frame->height || firstColumn < 0 ||
        endColumn > frame->width || firstColumn >= endColumn) {
        return false;
    }
    // Whole pairs from an even column; a range ending before the last
    // column ends on a whole pair too, so only a range that reaches the end
    // meets an odd width's half pair, exactly as the whole row does.
    const int first = firstColumn & ~1;
    const int end = endColumn == frame->width ? endColumn : std::min(frame->width, (endColumn + 1) & ~1);
    const Params &params = m_state->params;
    if (frame->format == PixelFormat::UYVY) {
        const std::uint8_t *bytes = frame->planes[0] + std::ptrdiff_t(row) * frame->strides[0] + 2 * first;
        convertUyvyRow(bytes, end - first, frame->strides[0] - 2 * first, rowPixels + first, params, m_state->vector);
    } else {
        convertNv12Row(frame->planes[0] + std::ptrdiff_t(row) * frame->strides[0] + first,
                       frame->planes[1] + std::ptrdiff_t(row >> 1) * frame->strides[1] + first, end - first,
                       rowPixels + first, params, m_state->vector);
    }
    return true;
}

bool convertFrameToRgb888(const VideoFrame &frame, std::uint8_t *dst, std::ptrdiff_t dstStrideBytes,
                          ConversionKernel kernel, bool deinterlace)
{
    if (!isConvertible(frame) || dst == nullptr || dstStrideBytes < std::ptrdiff_t(frame.width) * 3) {
        return false;
    }
    std::vector<std::uint32_t> pixels(std::size_t(frame.width) * std::size_t(frame.height));
    convertFrameToRgb32(frame, pixels.data(), std::ptrdiff_t(frame.width) * 4, nullptr, kernel, deinterlace);
    const std::uint32_t *px = pixels.data();
    for (int r = 0; r < frame.height; ++r) {
        std::uint8_t *out = dst + std::ptrdiff_t(r) * dstStrideBytes;
        for (int x = 0; x < frame.width; ++x, ++px) {
            *out++ = static_cast<std::uint8_t>(*px >> 16);
            *out++ = static_cast<std::uint8_t>(*px >> 8);
            *out++ = static_cast<std::uint8_t>(*px);
        }
    }
    return true;
}

bool hasVectorConversionKernel()
{
    return vectorWidth(ConversionKernel::Best) != VectorWidth::None;
}

} // namespace kelvo::video
