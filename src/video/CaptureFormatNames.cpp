#include "video/CaptureFormatNames.h"

#include "common/Localization.h"

namespace kelvo::video {

namespace {

// A translation is used as a format only if it has exactly the conversions
// of the English text; anything else (a stray %s) would read arguments that
// are not there.
QString checkedFormat(const char *english, int expectedConversions)
{
    const QString translated = localized(english);
    return translated.count(QStringLiteral("%0.2f")) == expectedConversions &&
                   translated.count(QLatin1Char('%')) == expectedConversions
               ? translated
               : QString::fromUtf8(english);
}

} // namespace

QString videoFormatDisplayName(const QString &formatName, int width, int height)
{
    return QStringLiteral("%1, %2 x %3").arg(formatName).arg(width).arg(height);
}

QString audioFormatDisplayName(const QString &formatName, const QString &channelLayoutName)
{
    if (channelLayoutName.isEmpty())
        return formatName;
    return QStringLiteral("%1, %2").arg(formatName, channelLayoutName);
}

QString frameRateRangeDisplayName(double minimumRate, double maximumRate)
{
    if (minimumRate == maximumRate)
        return QString::asprintf(checkedFormat("FPS: %0.2f", 1).toUtf8().constData(), minimumRate);
    return QString::asprintf(checkedFormat("FPS: %0.2f-%0.2f", 2).toUtf8().constData(), minimumRate, maximumRate);
}

} // namespace kelvo::video
