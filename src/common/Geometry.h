#pragma once

namespace kelvo {

// The viewer's one system for window, guide and settings geometry: origin at
// the lower left, y growing upward, in points (Qt's device-independent
// pixels). On screen the origin is the lower-left corner of the primary
// screen; inside a view it is the view's lower-left corner. Every rule about
// "top", "above" and "below" then reads the same as its arithmetic, and Qt's
// top-left system is met only where a rectangle is handed to Qt.

struct Point {
    double x = 0;
    double y = 0;
    friend bool operator==(const Point &, const Point &) = default;
};

struct Size {
    double width = 0;
    double height = 0;
    friend bool operator==(const Size &, const Size &) = default;
};

// `y` is the bottom edge and maxY() the top edge.
struct Rect {
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;

    double maxX() const { return x + width; }
    double maxY() const { return y + height; }
    Size size() const { return {width, height}; }
    // Half-open on both axes, so two rectangles that only touch never both
    // claim a point, and an empty rectangle contains nothing.
    bool contains(Point p) const { return p.x >= x && p.x < maxX() && p.y >= y && p.y < maxY(); }
    friend bool operator==(const Rect &, const Rect &) = default;
};

} // namespace kelvo
