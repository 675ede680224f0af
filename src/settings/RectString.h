#pragma once

#include "common/Geometry.h"

#include <QString>

namespace kelvo::settings {

// Settings keep rectangles in the viewer's y-up screen system; they are
// converted to Qt's top-left system only where a window is actually placed.
using Rect = kelvo::Rect;

// The rectangle text "{{x, y}, {width, height}}" with each number in its
// shortest decimal form that reads back to the same double ("400", "322.5").
QString stringFromRect(const Rect &rect);

// Reads the text of stringFromRect leniently: white space may appear anywhere
// between the braces, commas and numbers, or not at all, and numbers may carry
// a sign, a fraction or an exponent. Anything else gives the zero rectangle,
// and so does a text whose numbers could not describe a window: not finite,
// beyond kMaxCoordinate, or with a negative width or height.
Rect rectFromString(const QString &text);

// Larger than any arrangement of screens; keeps a hand-edited 1e300 from
// reaching window code that converts to integers.
inline constexpr double kMaxCoordinate = 1.0e7;

} // namespace kelvo::settings
