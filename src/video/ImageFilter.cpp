#include "video/ImageFilter.h"

#include <algorithm>
#include <cmath>

namespace kelvo::video {

namespace {

template <class... Ts> struct Overloaded : Ts... {
    using Ts::operator()...;
};
template <class... Ts> Overloaded(Ts...) -> Overloaded<Ts...>;

double clamp01(double v)
{
    return std::clamp(v, 0.0, 1.0);
}

double luminance(const Vec4 &c)
{
    return kLumaR * c[0] + kLumaG * c[1] + kLumaB * c[2];
}

double dot(const Vec4 &v, const Vec4 &c)
{
    return v[0] * c[0] + v[1] * c[1] + v[2] * c[2] + v[3] * c[3];
}

} // namespace

AffineTransform AffineTransform::translated(double dx, double dy) const
{
    AffineTransform step;
    step.tx = dx;
    step.ty = dy;
    return step.then(*this);
}

AffineTransform AffineTransform::scaled(double sx, double sy) const
{
    AffineTransform step;
    step.a = sx;
    step.d = sy;
    return step.then(*this);
}

AffineTransform AffineTransform::then(const AffineTransform &n) const
{
    AffineTransform r;
    r.a = n.a * a + n.c * b;
    r.b = n.b * a + n.d * b;
    r.c = n.a * c + n.c * d;
    r.d = n.b * c + n.d * d;
    r.tx = n.a * tx + n.c * ty + n.tx;
    r.ty = n.b * tx + n.d * ty + n.ty;
    return r;
}

AffineTransform AffineTransform::inverted() const
{
    const double det = a * d - b * c;
    if (det == 0.0) {
        return identity();
    }
    AffineTransform r;
    r.a = d / det;
    r.b = -b / det;
    r.c = -c / det;
    r.d = a / det;
    r.tx = -(r.a * tx + r.c * ty);
    r.ty = -(r.b * tx + r.d * ty);
    return r;
}

std::string_view filterName(const ImageFilter &filter)
{
    return std::visit(Overloaded{
                          [](const ColorMonochromeFilter &) { return std::string_view("CIColorMonochrome"); },
                          [](const ColorControlsFilter &) { return std::string_view("CIColorControls"); },
                          [](const ColorInvertFilter &) { return std::string_view("CIColorInvert"); },
                          [](const ColorMatrixFilter &) { return std::string_view("CIColorMatrix"); },
                          [](const AffineTransformFilter &) { return std::string_view("CIAffineTransform"); },
                      },
                      filter);
}

bool isColourFilter(const ImageFilter &filter)
{
    return !std::holds_alternative<AffineTransformFilter>(filter);
}

Vec4 applyColourFilter(const ImageFilter &filter, const Vec4 &x)
{
    Vec4 out = std::visit(Overloaded{
                              [&](const ColorMonochromeFilter &f) {
                                  // Overlay blend of the tint onto the grey of the input,
                                  // then mixed back with the input by the intensity.
                                  const double l = luminance(x);
                                  const double intensity = f.inputIntensity;
                                  Vec4 r = x;
                                  for (int i = 0; i < 3; ++i) {
                                      const double blend = l < 0.5 ? 2.0 * l * f.inputColor[i]
                                                                   : 1.0 - 2.0 * (1.0 - l) * (1.0 - f.inputColor[i]);
                                      r[i] = x[i] + (blend - x[i]) * intensity;
                                  }
                                  return r;
                              },
                              [&](const ColorControlsFilter &f) {
                                  // Contrast about mid grey first; brightness is added, not scaled.
                                  const double l = luminance(x);
                                  Vec4 r = x;
                                  for (int i = 0; i < 3; ++i) {
                                      const double saturated = l + (x[i] - l) * f.inputSaturation;
                                      r[i] = (saturated - 0.5) * f.inputContrast + 0.5 + f.inputBrightness;
                                  }
                                  return r;
                              },
                              [&](const ColorInvertFilter &) {
                                  return Vec4{1.0 - x[0], 1.0 - x[1], 1.0 - x[2], x[3]};
                              },
                              [&](const ColorMatrixFilter &f) {
                                  return Vec4{dot(f.inputRVector, x) + f.inputBiasVector[0],
                                              dot(f.inputGVector, x) + f.inputBiasVector[1],
                                              dot(f.inputBVector, x) + f.inputBiasVector[2],
                                              dot(f.inputAVector, x) + f.inputBiasVector[3]};
                              },
                              [&](const AffineTransformFilter &) { return x; },
                          },
                          filter);
    for (double &c : out) {
        c = clamp01(c);
    }
    return out;
}

Vec4 applyColourFilters(const ImageFilterList &filters, const Vec4 &rgba)
{
    Vec4 value = rgba;
    for (const ImageFilter &filter : filters) {
        value = applyColourFilter(filter, value);
    }
    return value;
}

double srgbToLinear(double v)
{
    return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
}

double linearToSrgb(double v)
{
    return v <= 0.0031308 ? v * 12.92 : 1.055 * std::pow(v, 1.0 / 2.4) - 0.055;
}

} // namespace kelvo::video
