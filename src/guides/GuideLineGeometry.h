#pragma once

namespace kelvo::guides {

// Geometry of the overlay is worked out with the origin at the lower-left
// corner and y growing upward, so that every rule about "up", "above" and
// "below" reads the same as the arithmetic. The Qt view flips y once when it
// draws and when it hit-tests.

struct GuidePoint {
    double x = 0;
    double y = 0;
    friend bool operator==(const GuidePoint &, const GuidePoint &) = default;
};

struct GuideRect {
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;

    // Half-open on both axes, so two rectangles that only touch never both
    // claim a point, and an empty rectangle contains nothing.
    bool contains(GuidePoint p) const { return p.x >= x && p.x < x + width && p.y >= y && p.y < y + height; }
    friend bool operator==(const GuideRect &, const GuideRect &) = default;
};

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
