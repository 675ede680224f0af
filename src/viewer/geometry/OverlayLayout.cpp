#include "viewer/geometry/OverlayLayout.h"

#include <algorithm>

namespace kelvo::viewer::geometry {

OverlayLayout overlayLayout(const OverlayLayoutInput &in)
{
    const Rect &w = in.window;
    const Rect &s = in.screen;
    OverlayLayout out;
    out.overhangX = w.width > s.width ? (w.width - s.width) / 2 : 0;
    out.overhangY = w.height > s.height ? (w.height - s.height) / 2 : 0;
    const double ox = out.overhangX;
    const double oy = out.overhangY;
    const double k = w.width / kOverlayDesignWindowWidth;
    out.scale = k;

    if (in.onScreenDisplayVisible)
        out.onScreenDisplay = Rect{ox + 50 * k, oy + 50 * k, 150 * k, w.height - 100 * k - 2 * oy};
    if (in.aboutBoxShowing) {
        const Rect box{ox + w.width - 348 * k - 50 * k, oy + 50 * k, 348 * k, w.height - 100 * k - 2 * oy};
        out.aboutBox = box;
        out.aboutBoxView = aboutBoxViewFrame(box);
    }
    out.referenceFrame = in.isFullScreen ? Rect{ox, oy, s.width, s.height} : Rect{0, 0, w.width, w.height};
    return out;
}

Rect aboutBoxViewFrame(const Rect &box)
{
    const double q = std::max(0.0, std::min(box.width / kAboutBoxDesignWidth, box.height / kAboutBoxDesignHeight));
    const double width = kAboutBoxDesignWidth * q;
    const double height = kAboutBoxDesignHeight * q;
    if (box.height / kAboutBoxDesignHeight > box.width / kAboutBoxDesignWidth)
        return {box.x, box.y + (box.height - height) / 2, width, height};
    return {box.x + (box.width - width) / 2, box.y, width, height};
}

Rect repositionRelativeToFrame(const Rect &base, const Rect &baseWindow, const Rect &f, bool fromTop, bool fromRight)
{
    const double y = fromTop ? f.y + f.height - (baseWindow.height - base.y) : f.y + base.y;
    const double x = fromRight ? f.x + f.width - (baseWindow.width - base.x) : f.x + base.x;
    return {x, y, base.width, base.height};
}

} // namespace kelvo::viewer::geometry
