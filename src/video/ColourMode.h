#pragma once

#include "video/ImageFilter.h"

#include <QStringList>

#include <cstdint>
#include <functional>
#include <vector>

namespace kelvo::video {

// Colour mode numbers: 0 "Normal", 1 and 2 the black-and-white modes, 3..30
// the two-colour modes. Any other number shows the natural picture.
inline constexpr std::int64_t kFirstColorMode = 0;
inline constexpr std::int64_t kLastColorMode = 30;
inline constexpr int kColorModeCount = 31;

// The controller's fields that choose the mode on screen. The controller
// (MainWindowDelegate) holds one of these; it lives on the main thread.
struct ColourModeSelection {
    // Index into preferredFilters, or negative when no preferred mode is chosen.
    std::int64_t chosenPreferredColorMode = 0;
    std::int64_t chosenNonPreferredColorMode = 0;
    // The modes the camera's mode button cycles through.
    std::vector<std::int64_t> preferredFilters;
};

// The 31 mode names, localised, index = mode number.
QStringList colorModeNames();

// The mode on screen. An index that has run past the end of a non-empty
// preferred list is repaired by calling setChosenPreferredColorMode(0) (the
// controller's setter, which rebuilds the picture); this call then answers 0.
// An empty callback skips the repair.
std::int64_t currentColorMode(const ColourModeSelection &selection,
                              const std::function<void(std::int64_t)> &setChosenPreferredColorMode);

// True exactly for the modes with a black background, 2..8.
bool isInverseColorMode(std::int64_t mode);
bool isInInverseColorMode(const ColourModeSelection &selection,
                          const std::function<void(std::int64_t)> &setChosenPreferredColorMode);

// The filter chain of a mode, built afresh on every call: empty for 0 and for
// numbers outside 1..30, the base chain for 1 and 2, the base chain and its
// colour matrix for 3..30.
ImageFilterList getColorModeFilters(std::int64_t mode);

} // namespace kelvo::video
