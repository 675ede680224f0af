#pragma once

#include <array>
#include <string_view>
#include <variant>
#include <vector>

namespace kelvo::video {

// An RGBA value or a four-component filter vector, components nominally 0..1.
using Vec4 = std::array<double, 4>;

// A 2-D affine transform in the convention of the filter parameters:
// x' = a·x + c·y + tx, y' = b·x + d·y + ty.
struct AffineTransform {
    double a = 1, b = 0, c = 0, d = 1, tx = 0, ty = 0;

    static AffineTransform identity() { return {}; }
    // Each of these applies its step before the transform built so far, so
    // identity().translated(m).scaled(z).translated(-m) maps p to m + z·(p − m).
    AffineTransform translated(double dx, double dy) const;
    AffineTransform scaled(double sx, double sy) const;
    // The transform that applies this one, then next.
    AffineTransform then(const AffineTransform &next) const;
    AffineTransform inverted() const;
    std::array<double, 2> map(double x, double y) const { return {a * x + c * y + tx, b * x + d * y + ty}; }
    bool operator==(const AffineTransform &) const = default;
};

// The image filters the viewer uses, each with the parameters it sets.
struct ColorMonochromeFilter {
    Vec4 inputColor{0, 0, 0, 1};
    float inputIntensity = 1.0f;
};
struct ColorControlsFilter {
    double inputSaturation = 1.0;
    double inputBrightness = 0.0;
    double inputContrast = 1.0;
};
struct ColorInvertFilter {};
struct ColorMatrixFilter {
    Vec4 inputRVector{1, 0, 0, 0};
    Vec4 inputGVector{0, 1, 0, 0};
    Vec4 inputBVector{0, 0, 1, 0};
    Vec4 inputAVector{0, 0, 0, 1};
    Vec4 inputBiasVector{0, 0, 0, 0};
};
struct AffineTransformFilter {
    AffineTransform inputTransform;
};

using ImageFilter = std::variant<ColorMonochromeFilter, ColorControlsFilter, ColorInvertFilter, ColorMatrixFilter,
                                 AffineTransformFilter>;
using ImageFilterList = std::vector<ImageFilter>;

// "CIColorMonochrome", "CIColorControls", "CIColorInvert", "CIColorMatrix" or
// "CIAffineTransform".
std::string_view filterName(const ImageFilter &filter);

bool isColourFilter(const ImageFilter &filter);

// Luminance weights of the working space.
inline constexpr double kLumaR = 0.2125;
inline constexpr double kLumaG = 0.7154;
inline constexpr double kLumaB = 0.0721;

// Applies one colour filter to a linear-light, unpremultiplied RGBA value and
// clamps the result to 0..1, as the compositor does between filters. An
// affine filter leaves colours untouched.
Vec4 applyColourFilter(const ImageFilter &filter, const Vec4 &rgba);

// Applies every colour filter of the list in order, clamping after each.
Vec4 applyColourFilters(const ImageFilterList &filters, const Vec4 &rgba);

// The exact sRGB transfer function and its inverse, on 0..1.
double srgbToLinear(double encoded);
double linearToSrgb(double linear);

} // namespace kelvo::video
