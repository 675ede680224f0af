#pragma once

#include "viewer/geometry/WindowGeometry.h"

#include <QRect>

#include <span>

namespace kelvo::viewer::geometry {

// The one line that y is flipped about between the y-up screen system and
// Qt's screen coordinates: the bottom edge of the primary screen, given its
// geometry in Qt coordinates. The y-up origin is thereby the lower-left
// corner of the primary screen, wherever the other screens lie; a screen
// above or beside a taller one moves the primary screen's top away from 0.
double screenFlipLine(const QRect &primaryScreenGeometry);

// A y-up screen rectangle as Qt's window geometry, and back. Qt's geometry is
// whole device-independent pixels: the edges are rounded, not the width, so
// that a rectangle never drifts by a pixel between two conversions. Window
// placement and the settings both convert here, so that a frame saved by one
// is restored by the other where it was.
QRect toQtScreenRect(const Rect &rect, double flipLine);
Rect fromQtScreenRect(const QRect &rect, double flipLine);

// How much of the window's top strip stays on screen at least, so that the
// user can still take hold of the title bar and reach the menu bar.
inline constexpr double kMinimumVisibleTopStripWidth = 100.0;

// The frame moved, and shrunk if need be, so that the user can reach it: its
// size at most that of the available area of the screen it lands on, and its
// top strip (chromeHeight high: the title bar and the menu bar above the
// picture) lying within that area for at least 100 points of its width. The
// screen is the one that holds most of the frame. A frame that no screen
// holds any of (its screen is gone, it was saved above every screen) comes
// wholly onto the primary screen instead. A shrunk frame keeps its top-left
// corner and the picture area's proportions. A frame already reachable comes
// back unchanged, and so does a frame without area. availableScreens are the
// screens' available areas in the y-up system, the primary screen first.
//
// Full-screen rectangles deliberately overhang their screen and must not be
// passed here.
Rect frameKeptOnScreen(const Rect &frame, std::span<const Rect> availableScreens, double chromeHeight);

} // namespace kelvo::viewer::geometry
