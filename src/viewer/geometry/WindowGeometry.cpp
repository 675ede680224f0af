#include "viewer/geometry/WindowGeometry.h"

#include <algorithm>
#include <cmath>

namespace kelvo::viewer::geometry {

Rect adjustFrameRectBasedOnWindowPosition(const Rect &frame, Size newSize)
{
    return {frame.x, frame.maxY() - newSize.height, newSize.width, newSize.height};
}

double aspectRatio(Size picture)
{
    if (!(picture.width > 0) || !(picture.height > 0))
        return 0;
    return picture.width / picture.height;
}

std::optional<Rect> frameFittedToPicture(const Rect &frame, Size picture, double titleBarHeight)
{
    if (aspectRatio(picture) == 0)
        return std::nullopt;
    const double height = frame.width * picture.height / picture.width + titleBarHeight;
    return adjustFrameRectBasedOnWindowPosition(frame, {frame.width, height});
}

std::optional<Rect> frameFittedAfterUserResize(const Rect &before, const Rect &after, Size picture,
                                               double titleBarHeight)
{
    if (aspectRatio(picture) == 0)
        return std::nullopt;
    auto change = [](double from, double to) { return from > 0 ? std::abs(to - from) / from : 0.0; };
    const double contentHeight = after.height - titleBarHeight;
    if (change(before.width, after.width) >= change(before.height, after.height) || contentHeight <= 0)
        return frameFittedToPicture(after, picture, titleBarHeight);
    const double width = contentHeight * picture.width / picture.height;
    return adjustFrameRectBasedOnWindowPosition(after, {width, after.height});
}

Size minimumWindowSize(Size picture)
{
    const double r = aspectRatio(picture);
    if (r == 0)
        return {kMinimumWindowSide, kMinimumWindowSide};
    if (r < 1)
        return {kMinimumWindowSide, kMinimumWindowSide / r};
    return {kMinimumWindowSide * r, kMinimumWindowSide};
}

Rect rotatedFrame(const Rect &frame, Size pictureArea, double chromeHeight)
{
    return adjustFrameRectBasedOnWindowPosition(frame, {pictureArea.height, pictureArea.width + chromeHeight});
}

Rect fullScreenRectForScreen(const Rect &screen, double r)
{
    if (!(r > 0) || !std::isfinite(r) || !(screen.width > 0) || !(screen.height > 0))
        return screen;
    const double s = screen.width / screen.height;
    if (s > r) {
        const double height = screen.width / r;
        return {screen.x, screen.y - (height - screen.height) / 2, screen.width, height};
    }
    const double width = r * screen.height;
    return {screen.x - (width - screen.width) / 2, screen.y, width, screen.height};
}

QtRect toQtRect(const Rect &rect, double flipHeight)
{
    return {rect.x, flipHeight - rect.maxY(), rect.width, rect.height};
}

Rect fromQtRect(const QtRect &rect, double flipHeight)
{
    return {rect.left, flipHeight - (rect.top + rect.height), rect.width, rect.height};
}

} // namespace kelvo::viewer::geometry
