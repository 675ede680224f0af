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
// The quarter turn shown, as orientationName says it, capitalised.
QString rotationPhrase(int orientation);
// How the picture is turned, in the on-screen menu's words: "landscape",
// "flipped", "portrait left", "portrait right".
QString orientationName(int orientation);
QString mirrorPhrase(bool mirrored);
QString lightPhrase(bool on);

} // namespace kelvo::speech
