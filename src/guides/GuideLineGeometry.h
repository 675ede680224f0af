#pragma once

#include "common/Geometry.h"

namespace kelvo::guides {

// The overlay's geometry is worked out in the common y-up system; the Qt
// view flips y once when it draws and when it hit-tests.
using GuidePoint = kelvo::Point;
using GuideRect = kelvo::Rect;

// The two guide lines of one axis and the rectangles that grab them.
struct GuideLineGeometry {
    GuidePoint firstLineStart;
    GuidePoint firstLineEnd;
    GuidePoint secondLineStart;
    GuidePoint secondLineEnd;
    GuideRect firstLineHitRect;
    GuideRect secondLineHitRect;
    friend bool operator==(const GuideLineGeometry &, const GuideLineGeometry &) = default;
};

} // namespace kelvo::guides
