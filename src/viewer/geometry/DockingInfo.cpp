#include "viewer/geometry/DockingInfo.h"

#include <cmath>

namespace kelvo::viewer::geometry {

namespace {
constexpr DockingInfo kTop = 1;
constexpr DockingInfo kBottom = 4;
constexpr DockingInfo kLeft = 16;
constexpr DockingInfo kRight = 64;
constexpr DockingInfo kTopMask = 0x03;
constexpr DockingInfo kBottomMask = 0x0C;
constexpr DockingInfo kLeftMask = 0x30;
} // namespace

void DockingFlags::dock(DockEdge edge)
{
    switch (edge) {
    case DockEdge::Top:
        top = true;
        bottom = false;
        break;
    case DockEdge::Bottom:
        bottom = true;
        top = false;
        break;
    case DockEdge::Left:
        left = true;
        right = false;
        break;
    case DockEdge::Right:
        right = true;
        left = false;
        break;
    }
}

DockingInfo isDocked(const DockingFlags &flags)
{
    DockingInfo info = 0;
    if (flags.top)
        info |= kTop;
    if (flags.bottom)
        info |= kBottom;
    if (flags.left)
        info |= kLeft;
    if (flags.right)
        info |= kRight;
    return info;
}

DockingFlags dockingFlagsFromInfo(DockingInfo info)
{
    DockingFlags flags;
    flags.top = (info & kTopMask) != 0;
    flags.bottom = (info & kBottomMask) != 0;
    flags.left = (info & kLeftMask) != 0;
    flags.right = info >= kRight;
    return flags;
}

std::vector<DockEdge> reDockOrder(DockingInfo info)
{
    std::vector<DockEdge> order;
    if (info >= kRight)
        order.push_back(DockEdge::Right);
    if (info & kLeftMask)
        order.push_back(DockEdge::Left);
    if (info & kBottomMask)
        order.push_back(DockEdge::Bottom);
    if (info & kTopMask)
        order.push_back(DockEdge::Top);
    return order;
}

Rect dockedFrame(DockEdge edge, const Rect &frame, const Rect &visible)
{
    Rect moved = frame;
    switch (edge) {
    case DockEdge::Top:
        moved.y = visible.maxY() - frame.height;
        break;
    case DockEdge::Bottom:
        moved.y = visible.y;
        break;
    case DockEdge::Left:
        moved.x = visible.x;
        break;
    case DockEdge::Right:
        moved.x = visible.maxX() - frame.width;
        break;
    }
    return moved;
}

bool frameSitsAtDockedEdges(const DockingFlags &flags, const Rect &frame, const Rect &visible, double tolerance)
{
    auto near = [tolerance](double a, double b) { return std::abs(a - b) <= tolerance; };
    return (!flags.top || near(frame.maxY(), visible.maxY())) && (!flags.bottom || near(frame.y, visible.y)) &&
           (!flags.left || near(frame.x, visible.x)) && (!flags.right || near(frame.maxX(), visible.maxX()));
}

} // namespace kelvo::viewer::geometry
