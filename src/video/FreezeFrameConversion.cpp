#include "video/FreezeFrameConversion.h"

#include "common/SystemLog.h"
#include "video/FrameConversion.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

namespace kelvo::video {

namespace {

// Memory for a picture is not an expected failure: like every broken
// invariant of the viewer it stops the program rather than showing garbage.
[[noreturn]] void failInvariant(const char *condition)
{
    systemLog("%s\n", condition);
    std::abort();
}

std::shared_ptr<std::vector<std::uint8_t>> makeBitmap(int width, int height)
{
    std::shared_ptr<std::vector<std::uint8_t>> bitmap;
    try {
        bitmap = std::make_shared<std::vector<std::uint8_t>>(3 * static_cast<std::size_t>(width) *
                                                             static_cast<std::size_t>(height));
    } catch (const std::bad_alloc &) {
        bitmap.reset();
    }
    if (!bitmap) {
        failInvariant("imageRep != NULL");
    }
    return bitmap;
}

// The packed conversion. With deinterlacing the even rows are converted in
// one pass over every second row, and the blended odd rows in another, so the
// cost stays one pass of the shared conversion per output row.
void convertPacked(const VideoFrame &frame, bool deinterlace, std::uint8_t *out, std::size_t outStride)
{
    const int h = frame.height;
    const std::size_t stride = static_cast<std::size_t>(frame.strides[0]);
    if (!deinterlace) {
        convertFrameToRgb888(frame, out, static_cast<std::ptrdiff_t>(outStride));
    } else {
        VideoFrame evens = frame;
        evens.height = (h + 1) / 2;
        evens.strides[0] = static_cast<int>(2 * stride);
        convertFrameToRgb888(evens, out, static_cast<std::ptrdiff_t>(2 * outStride));

        // Odd row r = 2i + 1 (while r < h − 2) is the average of source rows
        // 2i and 2i + 2. Both are followed by another row, so each holds a
        // full stride of bytes.
        const int blendedRows = std::max(0, (h - 2) / 2);
        if (blendedRows > 0) {
            std::vector<std::uint8_t> blended(static_cast<std::size_t>(blendedRows) * stride);
            for (int i = 0; i < blendedRows; ++i) {
                const std::uint8_t *above = frame.planes[0] + static_cast<std::size_t>(2 * i) * stride;
                const std::uint8_t *below = above + 2 * stride;
                std::uint8_t *dst = blended.data() + static_cast<std::size_t>(i) * stride;
                for (std::size_t b = 0; b < stride; ++b) {
                    dst[b] = static_cast<std::uint8_t>((above[b] + below[b]) >> 1);
                }
            }
            VideoFrame odds = frame;
            odds.height = blendedRows;
            odds.planes = {blended.data(), nullptr};
            convertFrameToRgb888(odds, out + outStride, static_cast<std::ptrdiff_t>(2 * outStride));
        }
        // The odd rows without an even row two below their source repeat the
        // row above.
        for (int r = 2 * blendedRows + 1; r < h; r += 2) {
            std::memcpy(out + static_cast<std::size_t>(r) * outStride,
                        out + static_cast<std::size_t>(r - 1) * outStride, outStride);
        }
    }
    if (frame.width % 2 != 0) {
        // The last column has no complete pair of its own.
        const std::size_t last = 3 * static_cast<std::size_t>(frame.width - 1);
        for (int r = 0; r < h; ++r) {
            std::uint8_t *outRow = out + static_cast<std::size_t>(r) * outStride;
            if (frame.width > 1) {
                std::memcpy(outRow + last, outRow + last - 3, 3);
            } else {
                std::memset(outRow, 0, 3);
            }
        }
    }
}

} // namespace

FreezeFrameImage convertFreezeFrame(const VideoFrame &frame, bool deinterlace)
{
    if (frame.planes[0] == nullptr) {
        systemLog("Skipped Audio Buffer\n");
        return {};
    }
    switch (frame.format) {
    case PixelFormat::UYVY:
    case PixelFormat::NV12:
        break;
    case PixelFormat::YUY2:
        return {};
    case PixelFormat::Other: {
        const char code[5] = {char(frame.fourCC >> 24), char(frame.fourCC >> 16), char(frame.fourCC >> 8),
                              char(frame.fourCC), '\0'};
        systemLog("Unknown format: %4s\n", code);
        return {};
    }
    }
    // Strides shorter than the rows would make the conversion read past the
    // camera's buffer; such a frame yields no picture, like an unknown one.
    if (!isConvertible(frame)) {
        systemLog("Frame does not hold its picture: %dx%d\n", frame.width, frame.height);
        return {};
    }

    auto bitmap = makeBitmap(frame.width, frame.height);
    const std::size_t outStride = 3 * static_cast<std::size_t>(frame.width);
    if (frame.format == PixelFormat::UYVY) {
        convertPacked(frame, deinterlace, bitmap->data(), outStride);
    } else {
        convertFrameToRgb888(frame, bitmap->data(), static_cast<std::ptrdiff_t>(outStride));
    }
    return {frame.width, frame.height, std::move(bitmap)};
}

int orientationAngle(std::int64_t orientation)
{
    switch (orientation) {
    case 2:
        return 180;
    case 3:
        return 90;
    case 4:
        return 270;
    default:
        return 0;
    }
}

int rotationAngleBetween(std::int64_t fromOrientation, std::int64_t toOrientation)
{
    return orientationAngle(toOrientation) - orientationAngle(fromOrientation);
}

FreezeFrameImage turnFreezeFrameImage(const FreezeFrameImage &image, int angleDegrees)
{
    if (image.isNull()) {
        return {};
    }
    const int quarter = (((angleDegrees / 90) % 4) + 4) % 4;
    if (quarter == 0) {
        return image;
    }
    const int w = image.width;
    const int h = image.height;
    const bool swaps = quarter % 2 != 0;
    const int outW = swaps ? h : w;
    const int outH = swaps ? w : h;
    auto bitmap = makeBitmap(outW, outH);
    const std::size_t outStride = 3 * static_cast<std::size_t>(outW);
    for (int y = 0; y < outH; ++y) {
        std::uint8_t *out = bitmap->data() + static_cast<std::size_t>(y) * outStride;
        for (int x = 0; x < outW; ++x, out += 3) {
            // Where the output pixel comes from, for a turn seen on screen
            // (rows run downward): a quarter turn counter-clockwise brings
            // the top-right corner to the top left.
            int sx = x, sy = y;
            switch (quarter) {
            case 1:
                sx = w - 1 - y;
                sy = x;
                break;
            case 2:
                sx = w - 1 - x;
                sy = h - 1 - y;
                break;
            default:
                sx = y;
                sy = h - 1 - x;
                break;
            }
            std::memcpy(out, image.row(sy) + 3 * static_cast<std::size_t>(sx), 3);
        }
    }
    return {outW, outH, std::move(bitmap)};
}

} // namespace kelvo::video
