#pragma once

#include "viewer/geometry/WindowGeometry.h"

#include <optional>

namespace kelvo::viewer::geometry {

// The designed size of the on-screen about box's content, and the window
// width the overlay sizes were designed for.
inline constexpr double kAboutBoxDesignWidth = 348.0;
inline constexpr double kAboutBoxDesignHeight = 246.0;
inline constexpr double kOverlayDesignWindowWidth = 624.0;

struct OverlayLayoutInput {
    Rect window; // the window frame W (in full screen, the full-screen rectangle)
    Rect screen; // the frame S of the window's screen
    bool isFullScreen = false;
    bool onScreenDisplayVisible = false;
    bool aboutBoxShowing = false;
};

// Where the overlay views go after the window's size changed. Rectangles are
// in the window's content, origin at its lower left, y upward.
struct OverlayLayout {
    double overhangX = 0; // how far the window reaches past the screen on each side
    double overhangY = 0;
    double scale = 1; // window width / 624
    std::optional<Rect> onScreenDisplay;
    std::optional<Rect> aboutBox;     // also the frame of its blur view
    std::optional<Rect> aboutBoxView; // 348 x 246 scaled to fit the box, centred
    Rect referenceFrame;              // what the floating controls anchor to
};

OverlayLayout overlayLayout(const OverlayLayoutInput &input);

// The about box's content scaled uniformly to fit inside box and centred on
// the axis with room to spare. Empty when the box has no room.
Rect aboutBoxViewFrame(const Rect &box);

// Where a floating control goes against the reference frame, keeping the
// distances to the edges it was designed against: base is the control's
// designed frame and baseWindow the window frame at design time. Its size
// never changes.
Rect repositionRelativeToFrame(const Rect &base, const Rect &baseWindow, const Rect &reference, bool fromTop,
                               bool fromRight);

} // namespace kelvo::viewer::geometry
