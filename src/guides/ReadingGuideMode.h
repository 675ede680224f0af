#pragma once

#include <cstdint>

namespace kelvo::guides {

// The style of one axis's guides. The overlay keeps the mode as a plain
// 32-bit integer, because stored settings may hold other values: any other
// non-zero value is drawn as Window.
enum ReadingGuideMode : std::int32_t {
    kReadingGuideModeNone = 0,
    kReadingGuideModeLines = 1,
    kReadingGuideModeWindow = 2,
};

// What the current mouse drag or rotate gesture acts on. Kept as a plain
// integer for the same reason as ReadingGuideMode.
enum MouseDragMode : std::int32_t {
    kMouseDragNone = 0,
    kMouseDragFirstHorizontalLine = 1,  // the upper line
    kMouseDragSecondHorizontalLine = 2, // the lower line
    kMouseDragFirstVerticalLine = 3,    // the left line
    kMouseDragSecondVerticalLine = 4,   // the right line
    kMouseDragWindow = 5,               // move the viewer window
};

} // namespace kelvo::guides
