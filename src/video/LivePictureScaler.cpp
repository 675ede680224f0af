#include "video/LivePictureScaler.h"

#include "video/FrameConversion.h"

#include <algorithm>
#include <cmath>

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

const std::uint32_t *LivePictureScaler::convertedRow(const VideoFrame &frame, const ColourCurve *curve, int row,
                                                     int keep)
{
    for (int slot = 0; slot < 2; ++slot) {
        if (m_rowInSlot[slot] == row) {
            return m_rowPixels[slot].data();
        }
    }
    // Replace the slot that does not hold the other row this view row needs.
    const int slot = m_rowInSlot[0] == keep ? 1 : 0;
    std::vector<std::uint32_t> &pixels = m_rowPixels[slot];
    if (pixels.size() < std::size_t(frame.width)) {
        pixels.resize(std::size_t(frame.width));
    }
    convertFrameRowToRgb32(frame, row, m_firstColumn, m_endColumn, pixels.data(), curve);
    m_rowInSlot[slot] = row;
    ++m_rowsConverted;
    return pixels.data();
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
    for (int i = 0; i < area.width; ++i) {
        if (m_columns.first[std::size_t(i)] >= 0) {
            m_firstColumn = std::min(m_firstColumn, m_columns.first[std::size_t(i)]);
            m_endColumn = std::max(m_endColumn, m_columns.second[std::size_t(i)] + 1);
        }
    }
    // Rows converted for an earlier frame, curve or column range are stale.
    m_rowInSlot[0] = m_rowInSlot[1] = -1;

    const int *first = m_columns.first.data();
    const int *second = m_columns.second.data();
    const std::uint16_t *weight = m_columns.weight.data();
    auto *rowBytes = reinterpret_cast<std::uint8_t *>(target);
    for (int y = 0; y < area.height; ++y, rowBytes += strideBytes) {
        auto *out = reinterpret_cast<std::uint32_t *>(rowBytes);
        const int top = m_rows.first[std::size_t(y)];
        if (top < 0 || m_firstColumn >= m_endColumn) {
            std::fill(out, out + area.width, kBlack);
            continue;
        }
        const int bottom = m_rows.second[std::size_t(y)];
        const std::uint32_t down = m_rows.weight[std::size_t(y)];
        const std::uint32_t *upper = convertedRow(frame, curve, top, bottom);
        if (down == 0) {
            for (int x = 0; x < area.width; ++x) {
                out[x] = first[x] < 0 ? kBlack : blend(upper[first[x]], upper[second[x]], weight[x]);
            }
            continue;
        }
        const std::uint32_t *lower = convertedRow(frame, curve, bottom, top);
        for (int x = 0; x < area.width; ++x) {
            if (first[x] < 0) {
                out[x] = kBlack;
                continue;
            }
            const std::uint32_t w = weight[x];
            out[x] =
                blend(blend(upper[first[x]], upper[second[x]], w), blend(lower[first[x]], lower[second[x]], w), down);
        }
    }
    return true;
}

} // namespace kelvo::video
