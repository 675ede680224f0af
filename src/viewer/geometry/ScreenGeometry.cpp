#include "viewer/geometry/ScreenGeometry.h"

#include <algorithm>
#include <cmath>

namespace kelvo::viewer::geometry {

namespace {

double overlapArea(const Rect &a, const Rect &b)
{
    const double width = std::min(a.maxX(), b.maxX()) - std::max(a.x, b.x);
    const double height = std::min(a.maxY(), b.maxY()) - std::max(a.y, b.y);
    return width > 0 && height > 0 ? width * height : 0;
}

// Like std::clamp, but a range turned inside out (a screen smaller than the
// strip it must show) answers its lower end instead of being undefined.
double clampTo(double value, double low, double high)
{
    return std::max(low, std::min(value, high));
}

} // namespace

double screenFlipLine(const QRect &primaryScreenGeometry)
{
    return double(primaryScreenGeometry.y()) + primaryScreenGeometry.height();
}

QRect toQtScreenRect(const Rect &rect, double flipLine)
{
    const QtRect q = toQtRect(rect, flipLine);
    const int left = int(std::lround(q.left));
    const int top = int(std::lround(q.top));
    return QRect(left, top, int(std::lround(q.left + q.width)) - left, int(std::lround(q.top + q.height)) - top);
}

Rect fromQtScreenRect(const QRect &rect, double flipLine)
{
    return fromQtRect({double(rect.x()), double(rect.y()), double(rect.width()), double(rect.height())}, flipLine);
}

Rect frameKeptOnScreen(const Rect &frame, std::span<const Rect> availableScreens, double chromeHeight)
{
    if (availableScreens.empty() || !(frame.width > 0) || !(frame.height > 0))
        return frame;
    const Rect *screen = &availableScreens.front();
    double largestOverlap = 0;
    for (const Rect &candidate : availableScreens) {
        const double overlap = overlapArea(frame, candidate);
        if (overlap > largestOverlap) {
            largestOverlap = overlap;
            screen = &candidate;
        }
    }
    const Rect &area = *screen;

    Rect kept = frame;
    if (kept.width > area.width || kept.height > area.height) {
        // The strip above the picture keeps its height; the picture shrinks
        // by one factor on both sides.
        const double pictureHeight = kept.height - chromeHeight;
        double scale = area.width / kept.width;
        if (pictureHeight > 0)
            scale = std::min(scale, std::max(0.0, area.height - chromeHeight) / pictureHeight);
        kept = adjustFrameRectBasedOnWindowPosition(
            kept, {kept.width * scale, std::max(0.0, pictureHeight) * scale + std::min(chromeHeight, kept.height)});
    }

    // A frame that lay on some screen moves only as far as needed to show
    // its top strip there; one that lay on none comes wholly onto the
    // primary screen, since no part of it is where the user expects it.
    const bool onNoScreen = largestOverlap == 0;
    const double visibleWidth = onNoScreen ? kept.width : std::min(kMinimumVisibleTopStripWidth, kept.width);
    const double visibleHeight = onNoScreen ? kept.height : std::min(chromeHeight, kept.height);
    kept.x = clampTo(kept.x, area.x + visibleWidth - kept.width, area.maxX() - visibleWidth);
    const double top = clampTo(kept.maxY(), area.y + visibleHeight, area.maxY());
    kept.y = top - kept.height;
    return kept;
}

} // namespace kelvo::viewer::geometry
