#pragma once

#include "viewer/geometry/WindowGeometry.h"

#include <cstdint>
#include <vector>

namespace kelvo::viewer::geometry {

// The four docking flags packed into one byte, as kept in the "DockingState"
// setting: top 1, bottom 4, left 16, right 64.
using DockingInfo = std::uint8_t;

enum class DockEdge { Top, Bottom, Left, Right };

// Against which edges of the main screen the window was last placed. One
// vertical and one horizontal edge can hold at once.
struct DockingFlags {
    bool top = false;
    bool bottom = false;
    bool left = false;
    bool right = false;

    // Sets the edge's flag and clears the opposite one.
    void dock(DockEdge edge);
    bool any() const { return top || bottom || left || right; }
    bool operator==(const DockingFlags &) const = default;
};

// Packs the flags: top 1, bottom 4, left 16, right 64.
DockingInfo isDocked(const DockingFlags &flags);

// Reads a stored value. Older writers used other bits of each edge's pair,
// so each edge is tested with a mask: top 0x03, bottom 0x0C, left 0x30, and
// right for any value of 64 or more.
DockingFlags dockingFlagsFromInfo(DockingInfo info);

// The moves that re-apply stored docking, in the order they are made: right,
// left, bottom, top.
std::vector<DockEdge> reDockOrder(DockingInfo info);

// The window frame moved (never resized) against one edge of the screen's
// visible area.
Rect dockedFrame(DockEdge edge, const Rect &frame, const Rect &visibleFrame);

// Whether the frame still lies against every edge the flags name, within
// tolerance points.
bool frameSitsAtDockedEdges(const DockingFlags &flags, const Rect &frame, const Rect &visibleFrame, double tolerance);

} // namespace kelvo::viewer::geometry
