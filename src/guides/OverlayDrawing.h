#pragma once

#include "guides/GuideLineGeometry.h"

#include <array>

namespace kelvo::guides {

enum class GuideColor { White, Black };

// Everything the overlay draws in one pass, in lower-left (y-up) view
// coordinates. Only the members that belong to kind are meaningful.
struct OverlayDrawing {
    enum class Kind {
        Nothing,
        LocatorFrame, // stroke locatorFrame, not filled
        Lines,        // stroke the two lines
        Window,       // fill the two masks
    };

    Kind kind = Kind::Nothing;
    GuideColor color = GuideColor::Black;
    // Stroke width for the locator frame and the lines; it may be 0 on a
    // small view, which asks for the thinnest line the device can draw. For
    // Window, the width of an outline that only a smoothing renderer needs
    // to close the seam at a fractional mask edge.
    int strokeWidth = 0;
    GuideRect locatorFrame;
    std::array<GuidePoint, 4> lines; // first start, first end, second start, second end
    std::array<GuideRect, 2> masks;  // the two sides outside the reading band
};

} // namespace kelvo::guides
