#pragma once

#include "common/Geometry.h"

#include <optional>

namespace kelvo::viewer::geometry {

// Window placement uses the common y-up system: the origin lies at the lower
// left of the primary screen and y grows upward, so `y` is the bottom edge.
// Every placement rule of the video window is written in this system; Qt's
// top-left system is met only by the conversions in ScreenGeometry.h and by
// toQtRect/fromQtRect for views inside the window.
using Rect = kelvo::Rect;
using Size = kelvo::Size;

// The strip above the picture that belongs to the window, not the picture.
inline constexpr double kTitleBarHeight = 22.0;
// Neither side of the picture may become shorter than this.
inline constexpr double kMinimumWindowSide = 300.0;
// A camera that reports no picture size yet is asked again after this delay.
inline constexpr int kPictureSizeRetryMs = 1000;
// Leaving full screen always takes this long, whatever the platform proposes.
inline constexpr int kFullScreenExitAnimationMs = 1000;
// Going into full screen; the platform gives no duration of its own here.
inline constexpr int kFullScreenEnterAnimationMs = 500;
// The idle-pointer timer's period, and after how many whole periods of rest
// the pointer hides (on the seventh tick, 3.5 s after the last move).
inline constexpr int kIdlePointerTickMs = 500;
inline constexpr int kIdlePointerTicksBeforeHiding = 6;

// The frame with a new size and the same top-left corner: the top edge is
// what the user sees stay put, so y moves by the change in height.
Rect adjustFrameRectBasedOnWindowPosition(const Rect &frame, Size newSize);

// The window frame that shows `picture` at the frame's width, keeping the
// width and the top-left corner; the height is the picture's height at that
// width plus the title bar. None when the picture has no size yet.
std::optional<Rect> frameFittedToPicture(const Rect &frame, Size picture, double titleBarHeight = kTitleBarHeight);

// After the user dragged the window from `before` to `after`, the frame that
// restores the picture's shape: the side the user changed more (relative to
// its old length) is kept and the other follows, with the top-left corner of
// `after`. None when the picture has no size.
std::optional<Rect> frameFittedAfterUserResize(const Rect &before, const Rect &after, Size picture,
                                               double titleBarHeight = kTitleBarHeight);

// The smallest window: 300 points on the picture's shorter side, the longer
// side in the picture's proportion. (300, 300) for a picture with no size.
Size minimumWindowSize(Size picture);

// The frame after a quarter turn of the picture: the picture area
// `pictureArea` with its sides exchanged, plus the strip above it, under the
// same top-left corner. Each turn is computed from the area the window had
// before the first turn, never from the last turned frame, so that rounding
// and a menu bar whose height changes with the width cannot accumulate: two
// turns give back the very frame they started from.
Rect rotatedFrame(const Rect &frame, Size pictureArea, double chromeHeight);

// The rectangle the window takes in full screen on a screen with frame
// `screen` for a picture of aspect ratio width / height: the picture fills
// the screen, centred, and overhangs it on its long side. A picture with no
// usable aspect fills exactly the screen.
Rect fullScreenRectForScreen(const Rect &screen, double pictureAspectRatio);

// Width / height, or 0 when either is not positive.
double aspectRatio(Size picture);

// Conversion for a view inside a parent: Qt's rectangles have their origin
// at the top left with y growing downward, and flipHeight is the parent's
// height, whose bottom edge is then y = 0. Screen rectangles go through
// toQtScreenRect/fromQtScreenRect instead.
struct QtRect {
    double left = 0;
    double top = 0;
    double width = 0;
    double height = 0;
    bool operator==(const QtRect &) const = default;
};
QtRect toQtRect(const Rect &rect, double flipHeight);
Rect fromQtRect(const QtRect &rect, double flipHeight);

} // namespace kelvo::viewer::geometry
