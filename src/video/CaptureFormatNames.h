#pragma once

#include <QString>

namespace kelvo::video {

// Display names of device formats and frame-rate ranges, as the camera and
// audio menus list them.

// "<format>, <width> x <height>"
QString videoFormatDisplayName(const QString &formatName, int width, int height);
// "<format>, <channel layout>", or "<format>" without a layout name.
QString audioFormatDisplayName(const QString &formatName, const QString &channelLayoutName);
// "FPS: 30.00" for a single rate, "FPS: 15.00-30.00" for a range; the text
// goes through the string table.
QString frameRateRangeDisplayName(double minimumRate, double maximumRate);

} // namespace kelvo::video
