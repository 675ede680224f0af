#pragma once

#include "video/FrameConversion.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace kelvo::video {

// A converted camera picture: 8-bit R, G, B samples, 3 bytes per pixel, no
// alpha, rows of exactly 3 × width bytes, top row first. Its size in points
// is its size in pixels. A default-made image is "nothing".
//
// Copies share their pixels, which are never changed once made, so a picture
// can be shown, kept for saving and turned without copying it.
struct FreezeFrameImage {
    int width = 0;
    int height = 0;
    std::shared_ptr<const std::vector<std::uint8_t>> pixels;

    bool isNull() const { return pixels == nullptr || width <= 0 || height <= 0; }
    std::size_t bytesPerRow() const { return 3 * static_cast<std::size_t>(width); }
    const std::uint8_t *row(int y) const { return pixels->data() + static_cast<std::size_t>(y) * bytesPerRow(); }
    Rgb8 pixel(int x, int y) const
    {
        const std::uint8_t *p = row(y) + 3 * static_cast<std::size_t>(x);
        return {p[0], p[1], p[2]};
    }
    // Whether both hold the very same pixel storage.
    bool sharesPixelsWith(const FreezeFrameImage &other) const { return pixels == other.pixels; }
};

} // namespace kelvo::video
