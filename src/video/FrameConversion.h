#pragma once

#include "video/ColourCurve.h"
#include "video/VideoFrame.h"

#include <cstddef>
#include <cstdint>
#include <memory>

namespace kelvo::video {

// The camera's YCbCr to RGB conversion: ITU-R BT.601 in its common 8-bit
// form with the chroma offsets folded into the constants, double precision,
// each result truncated toward zero and then clamped to 0..255. Live, frozen
// and saved pictures all go through it, so they agree to the last bit.

struct Rgb8 {
    std::uint8_t r = 0, g = 0, b = 0;
    bool operator==(const Rgb8 &) const = default;
};

// The luma offset k (Y' = Y − 16·k): packed 4:2:2 −0.65 (the camera's
// packed stream carries no range of its own), 4:2:0 video range 1, full 0.
double lumaOffset(PixelFormat format, ColourRange range);

// The reference arithmetic for one pixel.
Rgb8 convertYCbCrPixel(int y, int cb, int cr, double lumaOffsetK);

// Whether the frame's planes and strides can be read: a positive size, the
// planes its format needs, and rows long enough for its width.
bool isConvertible(const VideoFrame &frame);

// All kernels give the same results. One the processor lacks falls back to
// the portable one.
enum class ConversionKernel {
    Best,     // the fastest the processor offers
    Portable, // plain C++
    Avx2,     // 256-bit vectors
    Avx512,   // 512-bit vectors (256-bit with a colour mode)
};

// Converts the frame into 32-bit pixels 0xFFRRGGBB (QImage::Format_RGB32),
// rows dstStrideBytes apart, applying the colour curve when one is given and
// is not the identity. Orientation and mirroring are left to the renderer.
// An odd-width packed frame converts its last column from the partial pair
// (Cb, Y0, Cr) when the row holds it, and otherwise repeats its left
// neighbour. With deinterlace, a packed frame keeps its even rows and
// replaces each odd row by the byte-wise average (rounded down) of the even
// rows above and below it, or by the row above where there is none below;
// a bi-planar frame is never deinterlaced. Returns false, writing nothing,
// for a frame that is not convertible. Single-threaded.
bool convertFrameToRgb32(const VideoFrame &frame, std::uint32_t *dst, std::ptrdiff_t dstStrideBytes,
                         const ColourCurve *curve = nullptr, ConversionKernel kernel = ConversionKernel::Best,
                         bool deinterlace = false);

// Converts single rows of a frame, with the same results as
// convertFrameToRgb32 gives there: for converting only the part of a frame
// that is shown. What holds for the whole frame (its checks, the colour
// mode's tables) is set up once by prepare(), not for every row.
class FrameRowConverter {
public:
    FrameRowConverter();
    ~FrameRowConverter();
    FrameRowConverter(const FrameRowConverter &) = delete;
    FrameRowConverter &operator=(const FrameRowConverter &) = delete;

    // Sets up for frame, which must outlive the conversions that follow;
    // false for a frame that is not convertible.
    bool prepare(const VideoFrame &frame, const ColourCurve *curve = nullptr,
                 ConversionKernel kernel = ConversionKernel::Best);

    // Converts at least columns [firstColumn, endColumn) of one row into
    // rowPixels (indexed by the frame's column, so it holds the frame's
    // width). A column next to either end may be written too: chroma is
    // shared by pairs. Returns false, writing nothing, when not prepared or
    // for a range outside the frame.
    bool convert(int row, int firstColumn, int endColumn, std::uint32_t *rowPixels) const;

private:
    struct State;
    std::unique_ptr<State> m_state;
};

// Converts the frame into packed R, G, B bytes, 3 per pixel (the still
// picture's layout), rows dstStrideBytes apart, without colour mode,
// deinterlaced as above when asked.
bool convertFrameToRgb888(const VideoFrame &frame, std::uint8_t *dst, std::ptrdiff_t dstStrideBytes,
                          ConversionKernel kernel = ConversionKernel::Best, bool deinterlace = false);

// Whether ConversionKernel::Best uses vector instructions on this processor.
bool hasVectorConversionKernel();

} // namespace kelvo::video
