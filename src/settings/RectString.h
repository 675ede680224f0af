#pragma once

#include <QString>

namespace kelvo::settings {

// A rectangle in the viewer's screen geometry: origin at the lower left, y
// growing upward, in points. Converted to Qt's top-left system only where a
// window is actually placed.
struct Rect {
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;

    bool operator==(const Rect &) const = default;
};

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
