#pragma once

#include <array>
#include <cstdint>
#include <memory>

namespace kelvo::video {

// The two layouts the camera path delivers: packed 4:2:2 (U Y0 V Y1, the
// '2vuy' layout) and bi-planar 4:2:0 (a luma plane, then interleaved U V).
// YUY2 (Y0 U Y1 V, 'yuvs') and Other name frames a device may offer but the
// viewer cannot convert; an Other frame says which it is in fourCC.
enum class PixelFormat { UYVY, NV12, YUY2, Other };

// Video range keeps luma in 16..235; full range uses 0..255.
enum class ColourRange { Video, Full };

// One captured picture. The planes point into storage, which keeps the bytes
// alive for as long as any copy of the frame exists, so a frame can be handed
// from a streaming thread to the main thread without copying the pixels.
struct VideoFrame {
    PixelFormat format = PixelFormat::UYVY;
    ColourRange range = ColourRange::Video;
    int width = 0;
    int height = 0;
    // Plane 0: UYVY bytes or NV12 luma. Plane 1: NV12 chroma (unused for UYVY).
    std::array<const std::uint8_t *, 2> planes{};
    std::array<int, 2> strides{};
    std::shared_ptr<const void> storage;
    std::int64_t timestampNs = 0;
    // The format's four-character code, first character in the most
    // significant byte ('2vuy' is 0x32767579); set at least for Other.
    std::uint32_t fourCC = 0;

    bool isValid() const { return width > 0 && height > 0 && planes[0] != nullptr; }
};

} // namespace kelvo::video
