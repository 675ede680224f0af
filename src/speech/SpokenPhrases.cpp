#include "speech/SpokenPhrases.h"

#include "common/Localization.h"
#include "video/ColourMode.h"

namespace kelvo::speech {

QString zoomPhrase(int level)
{
    return localized("Zoom %1").arg(level);
}

QString colourModePhrase(std::int64_t mode)
{
    const QStringList names = video::colorModeNames();
    if (mode < 0 || mode >= names.size())
        return localized("Colour mode %1").arg(mode);
    return names[qsizetype(mode)];
}

QString frozenPhrase(bool frozen)
{
    return frozen ? localized("Frozen") : localized("Live");
}

QString guidesPhrase(bool horizontal, std::int32_t mode)
{
    if (mode == 0)
        return horizontal ? localized("Horizontal guides off") : localized("Vertical guides off");
    if (mode == 1)
        return horizontal ? localized("Horizontal lines") : localized("Vertical lines");
    return horizontal ? localized("Horizontal window") : localized("Vertical window");
}

QString orientationName(int orientation)
{
    switch (orientation) {
    case 2:
        return localized("flipped");
    case 3:
        return localized("portrait left");
    case 4:
        return localized("portrait right");
    default:
        return localized("landscape");
    }
}

QString rotationPhrase(int orientation)
{
    QString phrase = orientationName(orientation);
    phrase[0] = phrase[0].toUpper();
    return phrase;
}

QString mirrorPhrase(bool mirrored)
{
    return mirrored ? localized("Mirrored") : localized("Not mirrored");
}

QString lightPhrase(bool on)
{
    return on ? localized("Light on") : localized("Light off");
}

} // namespace kelvo::speech
