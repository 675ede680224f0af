#include "video/ColourMode.h"

#include "common/Localization.h"

#include <array>

namespace kelvo::video {

namespace {

constexpr std::array<const char *, kColorModeCount> kColorModeNames = {
    "Normal",
    "Black and White Positive",
    "Black and White Negative",
    "Green on Black",
    "Yellow on Black",
    "Red on Black",
    "Blue on Black",
    "Pink on Black",
    "Orange on Black",
    "Black on Green",
    "Black on Yellow",
    "Black on Red",
    "Black on Blue",
    "Black on Pink",
    "Black on Orange",
    "Green on White",
    "Red on White",
    "Blue on White",
    "Pink on White",
    "Orange on White",
    "White on Green",
    "White on Red",
    "White on Blue",
    "White on Pink",
    "White on Orange",
    "Red on Yellow",
    "Yellow on Red",
    "Green on Yellow",
    "Yellow on Green",
    "Blue on Yellow",
    "Yellow on Blue",
};

constexpr Vec4 kOpaqueWhite{1, 1, 1, 1};
constexpr Vec4 kOpaqueBlack{0, 0, 0, 1};

ImageFilterList positiveBaseChain()
{
    return {
        ColorMonochromeFilter{kOpaqueWhite, 1.0f},
        ColorControlsFilter{0.0, 1.5, 5.0},
        ColorMonochromeFilter{kOpaqueBlack, 1.0f},
    };
}

ImageFilterList negativeBaseChain()
{
    return {
        ColorMonochromeFilter{kOpaqueWhite, 1.0f},
        ColorInvertFilter{},
        ColorControlsFilter{0.0, -1.0, 5.0},
        ColorMonochromeFilter{kOpaqueBlack, 1.0f},
    };
}

enum class Base { Positive, Negative };

struct MatrixMode {
    Base base;
    Vec4 r, g, b, bias;
};

constexpr double t = 0.333;
constexpr Vec4 T{t, t, t, 0};
constexpr Vec4 mT{-t, -t, -t, 0};
constexpr Vec4 Z{0, 0, 0, 0};
constexpr Vec4 A1{0, 0, 0, 1};
constexpr Vec4 kWhiteBias{1, 1, 1, 0};
constexpr Vec4 kYellowBias{1, 1, 0, 0};
constexpr Vec4 kBlueBias{0, 0, 1, 0};

// The colour matrix appended to the base chain of modes 3..30.
constexpr std::array<MatrixMode, 28> kMatrixModes = {{
    {Base::Negative, Z, T, Z, Z},                                                                  // 3
    {Base::Negative, T, T, Z, Z},                                                                  // 4
    {Base::Negative, T, Z, Z, Z},                                                                  // 5
    {Base::Negative, Z, Z, T, Z},                                                                  // 6
    {Base::Negative, T, Z, T, Z},                                                                  // 7
    {Base::Negative, T, {0.08, 0.08, 0.08, 0}, Z, Z},                                              // 8
    {Base::Positive, Z, T, Z, Z},                                                                  // 9
    {Base::Positive, T, T, Z, Z},                                                                  // 10
    {Base::Positive, T, Z, Z, Z},                                                                  // 11
    {Base::Positive, Z, Z, T, Z},                                                                  // 12
    {Base::Positive, T, Z, T, Z},                                                                  // 13
    {Base::Positive, T, {0.08, 0.08, 0.08, 0}, Z, Z},                                              // 14
    {Base::Negative, mT, {-0.06, -0.06, -0.06, 0}, mT, kWhiteBias},                                // 15
    {Base::Negative, A1, mT, mT, kWhiteBias},                                                      // 16
    {Base::Negative, mT, mT, Z, kWhiteBias},                                                       // 17
    {Base::Negative, Z, mT, Z, kWhiteBias},                                                        // 18
    {Base::Negative, Z, {-0.1665, -0.1665, -0.1665, 0}, mT, kWhiteBias},                           // 19
    {Base::Negative, {2.5, 2.5, 2.5, 0}, {1.5, 1.5, 1.5, 0}, {2.5, 2.5, 2.5, 0}, {-3, 1, -3, 0}},  // 20
    {Base::Positive, A1, mT, mT, kWhiteBias},                                                      // 21
    {Base::Positive, mT, mT, Z, kWhiteBias},                                                       // 22
    {Base::Positive, Z, mT, Z, kWhiteBias},                                                        // 23
    {Base::Negative, {1.5, 1.5, 1.5, 0}, {1.5, 1.5, 1.5, 0}, {2.5, 2.5, 2.5, 0}, {1, 0.5, -2, 0}}, // 24
    {Base::Negative, Z, mT, Z, kYellowBias},                                                       // 25
    {Base::Positive, Z, mT, Z, kYellowBias},                                                       // 26
    {Base::Negative, mT, Z, Z, kYellowBias},                                                       // 27
    {Base::Positive, mT, Z, Z, kYellowBias},                                                       // 28
    {Base::Positive, T, T, mT, kBlueBias},                                                         // 29
    {Base::Negative, T, T, mT, kBlueBias},                                                         // 30
}};

} // namespace

QStringList colorModeNames()
{
    QStringList names;
    names.reserve(kColorModeCount);
    for (const char *name : kColorModeNames) {
        names.append(kelvo::localized(name));
    }
    return names;
}

std::int64_t currentColorMode(const ColourModeSelection &selection,
                              const std::function<void(std::int64_t)> &setChosenPreferredColorMode)
{
    const std::int64_t index = selection.chosenPreferredColorMode;
    if (index < 0) {
        return selection.chosenNonPreferredColorMode;
    }
    if (static_cast<std::uint64_t>(index) < selection.preferredFilters.size()) {
        return selection.preferredFilters[static_cast<std::size_t>(index)];
    }
    // The preferences window shortened the list under the index: start over
    // at its first entry from the next query on. The setter may rebuild the
    // picture and so re-enter here; this call still answers "Normal".
    if (!selection.preferredFilters.empty() && setChosenPreferredColorMode) {
        setChosenPreferredColorMode(0);
    }
    return 0;
}

bool isInverseColorMode(std::int64_t mode)
{
    return mode >= 2 && mode <= 8;
}

bool isInInverseColorMode(const ColourModeSelection &selection,
                          const std::function<void(std::int64_t)> &setChosenPreferredColorMode)
{
    return isInverseColorMode(currentColorMode(selection, setChosenPreferredColorMode));
}

ImageFilterList getColorModeFilters(std::int64_t mode)
{
    ImageFilterList positive = positiveBaseChain();
    ImageFilterList negative = negativeBaseChain();
    if (mode < 1 || mode > kLastColorMode) {
        return {};
    }
    if (mode == 1) {
        return positive;
    }
    if (mode == 2) {
        return negative;
    }
    const MatrixMode &m = kMatrixModes[static_cast<std::size_t>(mode - 3)];
    ImageFilterList chain = m.base == Base::Positive ? std::move(positive) : std::move(negative);
    chain.push_back(ColorMatrixFilter{m.r, m.g, m.b, A1, m.bias});
    return chain;
}

} // namespace kelvo::video
