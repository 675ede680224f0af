#pragma once

#include "video/VideoFrame.h"

#include <QColor>
#include <QImage>

#include <cstdint>
#include <memory>
#include <random>
#include <vector>

namespace kelvo::test {

// A camera frame whose bytes the frame itself keeps alive, as capture does.
struct OwnedFrame {
    std::shared_ptr<std::vector<std::uint8_t>> bytes;
    kelvo::video::VideoFrame frame;
};

// A full-range NV12 frame with neutral chroma: luma 255 shows white, 0 black.
inline OwnedFrame greyNv12(int width, int height, std::uint8_t luma)
{
    const int chromaRows = (height + 1) / 2, chromaStride = 2 * ((width + 1) / 2);
    auto bytes = std::make_shared<std::vector<std::uint8_t>>(std::size_t(width) * height, luma);
    bytes->resize(bytes->size() + std::size_t(chromaStride) * chromaRows, 128);
    OwnedFrame f{bytes, {}};
    f.frame.format = kelvo::video::PixelFormat::NV12;
    f.frame.range = kelvo::video::ColourRange::Full;
    f.frame.width = width;
    f.frame.height = height;
    f.frame.planes = {bytes->data(), bytes->data() + std::size_t(width) * height};
    f.frame.strides = {width, chromaStride};
    f.frame.storage = bytes;
    return f;
}

inline void setLuma(OwnedFrame &f, int x, int y, std::uint8_t luma)
{
    (*f.bytes)[std::size_t(y) * f.frame.strides[0] + x] = luma;
}

// A frame of random bytes in either layout.
inline OwnedFrame randomFrame(kelvo::video::PixelFormat format, kelvo::video::ColourRange range, int width, int height,
                              unsigned seed)
{
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> byte(0, 255);
    OwnedFrame f{std::make_shared<std::vector<std::uint8_t>>(), {}};
    f.frame.format = format;
    f.frame.range = range;
    f.frame.width = width;
    f.frame.height = height;
    if (format == kelvo::video::PixelFormat::UYVY) {
        const int stride = 4 * ((width + 1) / 2);
        f.bytes->resize(std::size_t(stride) * height);
        f.frame.strides = {stride, 0};
    } else {
        const int chromaStride = 2 * ((width + 1) / 2);
        f.bytes->resize(std::size_t(width) * height + std::size_t(chromaStride) * ((height + 1) / 2));
        f.frame.strides = {width, chromaStride};
    }
    for (auto &b : *f.bytes) {
        b = std::uint8_t(byte(rng));
    }
    f.frame.planes = {f.bytes->data(), format == kelvo::video::PixelFormat::NV12
                                           ? f.bytes->data() + std::size_t(width) * height
                                           : nullptr};
    f.frame.storage = f.bytes;
    return f;
}

inline QColor pixelAt(const QImage &image, int x, int y)
{
    return QColor::fromRgb(image.pixel(x, y));
}

} // namespace kelvo::test
