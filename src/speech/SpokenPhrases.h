#pragma once

#include <QString>

#include <cstdint>

namespace kelvo::speech {

// The words said (and shown) for each change of what the user sees. Short,
// so that a quick run of changes is not a queue of speech.
QString zoomPhrase(int level);
QString colourModePhrase(std::int64_t mode);
QString frozenPhrase(bool frozen);
// mode: 0 none, 1 lines, anything else a window.
QString guidesPhrase(bool horizontal, std::int32_t mode);
// The quarter turn shown: 1 upright, 2 upside down, 3 and 4 the sides.
QString rotationPhrase(int orientation);
QString mirrorPhrase(bool mirrored);
QString lightPhrase(bool on);

} // namespace kelvo::speech
