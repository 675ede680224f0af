#pragma once

#include "video/ColourCurve.h"
#include "video/FrameConversion.h"
#include "video/ImageFilter.h"
#include "video/VideoFrame.h"

#include <array>
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
// A colour mode whose colours all lie on one tone (ColourCurve::Tone) is
// scaled as one byte a pixel and coloured as it is written, which gives the
// same pixels as blending all four channels, for a quarter of the work.
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
    // The tone path takes view columns sixteen at a time. Where a block's
    // taps lie within 32 frame columns from its low column, byte shuffles
    // of that window's two halves pick them: the control bytes for the
    // first taps from each half, then the second taps'. low is −1 where the
    // taps spread wider (a picture shrunk to under half its size).
    using ToneShuffle = std::array<std::uint8_t, 64>;
    // Scaled frame rows of either path, kept in two slots so that view rows
    // blending the same pair of frame rows convert and scale each once.
    template <typename Pixel> struct RowSlots {
        std::vector<Pixel> rows[2];
        int rowInSlot[2] = {-1, -1};
        const Pixel *find(int row) const;
        void forget();
        // The slot for row, not the one holding row `keep`.
        Pixel *claim(int row, int keep, std::size_t size);
    };

    static void computeTaps(Taps &taps, int start, int count, double scale, double offset, int frameSize);
    // The tone path's shuffles for the area's columns and for colouring.
    void prepareTone();
    const std::uint32_t *convertedRow(int row);
    // Frame row `row` converted and scaled to the area's width; the slot
    // holding row `keep` is left alone.
    const std::uint32_t *scaledRow(int row, int keep, int width);
    const std::uint8_t *scaledToneRow(int row, int keep, int width);

    FrameRowConverter m_converter; // set up for the frame being drawn
    int m_frameWidth = 0;
    Taps m_columns, m_rows;
    int m_firstColumn = 0, m_endColumn = 0; // frame columns the area reads
    int m_insideBegin = 0, m_insideEnd = 0; // area columns inside the picture
    std::vector<std::uint32_t> m_rowPixels; // one converted frame row
    std::vector<std::uint8_t> m_rowTones;   // its tones, with room to read 32 bytes from any column
    std::vector<int> m_toneLows;
    std::vector<ToneShuffle> m_toneShuffles;
    const ColourCurve::Tone *m_tone = nullptr; // null: the four-channel path
    // Spreads sixteen tones, held in both halves of a register, into the
    // tone channels of sixteen pixels: bytes 0..31 for tones 0..7, 32..63
    // for 8..15; 0x80 (zero) in the fixed channels.
    std::array<std::uint8_t, 64> m_toneSpread{};
    RowSlots<std::uint32_t> m_scaledRows;
    RowSlots<std::uint8_t> m_scaledTones;
    std::uint64_t m_rowsConverted = 0;
};

} // namespace kelvo::video
