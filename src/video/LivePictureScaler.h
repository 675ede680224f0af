#pragma once

#include "video/ColourCurve.h"
#include "video/ImageFilter.h"
#include "video/VideoFrame.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace kelvo::video {

// Where an upright or mirrored frame lands in the view: view x = scaleX ·
// frame x + offsetX, and likewise for y. A negative scale mirrors.
struct AxisAlignedPlacement {
    double scaleX = 1, scaleY = 1, offsetX = 0, offsetY = 0;
};

// The placement a frame-to-view transform describes; nothing for one that
// turns the picture by a quarter (rows of the view are then columns of the
// frame) or by any other angle.
std::optional<AxisAlignedPlacement> axisAlignedPlacement(const AffineTransform &frameToView);

// Draws the live picture into view pixels in one pass: each view pixel reads
// the converted colours of the (at most four) frame pixels around it and
// blends them bilinearly, pixel centres on pixel centres, edges repeated, as
// an OpenGL texture with linear filtering does. Only the frame rows and
// columns the view shows are converted, each row once however many view
// rows use it, so a window smaller than the frame, or a zoomed picture,
// costs the pixels shown rather than the frame's. The blend comes after the
// colour curve (a scaled picture is smoothed after its colour mode), and
// where view pixels fall on frame pixels one to one, the output is exactly
// convertFrameToRgb32's. View pixels outside the picture are black.
//
// Keeps its buffers from call to call: a steady stream of frames of one size
// into one view size allocates nothing. Not thread-safe; one per view.
class LivePictureScaler {
public:
    struct Area {
        int x = 0, y = 0, width = 0, height = 0; // in view pixels
    };

    // Writes the view pixels of area into target (the pixel at area's top
    // left; rows strideBytes apart) as 0xFFRRGGBB. False, writing nothing,
    // for a frame that cannot be converted; an empty area writes nothing.
    bool render(const VideoFrame &frame, const ColourCurve *curve, const AxisAlignedPlacement &placement,
                const Area &area, std::uint32_t *target, std::ptrdiff_t strideBytes);

    // Frame rows converted, in total: how much conversion the pictures cost.
    std::uint64_t rowsConverted() const { return m_rowsConverted; }

private:
    struct Taps {
        std::vector<int> first, second;    // frame index of the two neighbours, -1 outside the picture
        std::vector<std::uint16_t> weight; // of the second, in 1/256
    };
    static void computeTaps(Taps &taps, int start, int count, double scale, double offset, int frameSize);
    const std::uint32_t *convertedRow(const VideoFrame &frame, const ColourCurve *curve, int row);
    // Frame row `row` converted and scaled to the area's width, kept in one
    // of two slots; the slot holding row `keep` is left alone.
    const std::uint32_t *scaledRow(const VideoFrame &frame, const ColourCurve *curve, int row, int keep, int width);

    Taps m_columns, m_rows;
    int m_firstColumn = 0, m_endColumn = 0;     // frame columns the area reads
    int m_insideBegin = 0, m_insideEnd = 0;     // area columns inside the picture
    std::vector<std::uint32_t> m_rowPixels;     // one converted frame row
    std::vector<std::uint32_t> m_scaledRows[2]; // scaled frame rows
    int m_scaledRowInSlot[2] = {-1, -1};
    std::uint64_t m_rowsConverted = 0;
};

} // namespace kelvo::video
