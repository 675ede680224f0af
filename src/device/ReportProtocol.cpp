#include "device/ReportProtocol.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace kelvo::device {
namespace {

CommandBytes bytes(std::initializer_list<std::uint8_t> values)
{
    CommandBytes result{};
    std::copy(values.begin(), values.end(), result.begin());
    return result;
}

CommandBytes zoomBytes(int step)
{
    const std::uint16_t lens = kZoomLensPositions[static_cast<std::size_t>(step)];
    return bytes({0xCF, 0x02, static_cast<std::uint8_t>(lens & 0xFF), static_cast<std::uint8_t>(lens >> 8)});
}

} // namespace

std::vector<CommandBytes> commandReports(long command)
{
    if (!isValidHIDCommand(command))
        return {};
    switch (static_cast<HIDCommand>(command)) {
    case HIDCommandFreeze:
        return {bytes({0xCC}), bytes({0xB1, 0x01, 0x03})};
    case HIDCommandUnfreeze:
        return {bytes({0xCD}), bytes({0xB1, 0x01, 0x01})};
    case HIDCommandA2:
    case HIDCommandA2Again:
        return {bytes({0xA2})};
    case HIDCommandC0:
        return {bytes({0xC0})};
    case HIDCommandCD:
        return {bytes({0xCD})};
    case HIDCommandA8:
    case HIDCommandA8Again:
        return {bytes({0xA8})};
    case HIDCommandB10102:
        return {bytes({0xB1, 0x01, 0x02})};
    case HIDCommandB10101:
        return {bytes({0xB1, 0x01, 0x01})};
    case HIDCommandC5:
        return {bytes({0xC5})};
    case HIDCommandC4:
        return {bytes({0xC4})};
    case HIDCommandC7:
        return {bytes({0xC7})};
    case HIDCommandC6:
        return {bytes({0xC6})};
    case HIDCommandColorNormal:
        return {bytes({0xC8})};
    case HIDCommandColorCool:
        return {bytes({0xC9})};
    case HIDCommandColorWarm:
        return {bytes({0xCA})};
    case HIDCommandToggleLight:
        return {bytes({0x96})};
    case HIDCommandZoom1:
    case HIDCommandZoom2:
    case HIDCommandZoom3:
    case HIDCommandZoom4:
    case HIDCommandZoom5:
    case HIDCommandZoom6:
    case HIDCommandZoom7:
    case HIDCommandZoom8:
        return {zoomBytes(static_cast<int>(command - HIDCommandZoom1))};
    case HIDCommandPowerDown:
        return {bytes({0xA3})};
    case HIDCommandGetFirmwareVersion:
        return {bytes({0x9A})};
    case HIDCommandGetBootFirmwareVersion:
        return {bytes({0xAE})};
    case HIDCommandGetDeviceSerialNumber:
        return {bytes({0x99})};
    case HIDCommandGetBoardSerialNumber:
        return {bytes({0xAC})};
    case HIDCommandBurst:
        return {bytes({0xAB}), bytes({0xAC}), bytes({0xB3}), bytes({0xD2})};
    case HIDCommandPowerUp:
    case HIDCommandPowerDownSequence:
        return {};
    }
    return {};
}

const std::vector<long> &powerUpSequence()
{
    static const std::vector<long> sequence = {
        HIDCommandA2,
        HIDCommandC0,
        HIDCommandCD,
        HIDCommandA8,
        HIDCommandC4,
        HIDCommandFreeze,
        HIDCommandUnfreeze,
        HIDCommandUnfreeze,
        HIDCommandA2Again,
        HIDCommandGetDeviceSerialNumber,
        HIDCommandGetBoardSerialNumber,
        HIDCommandGetFirmwareVersion,
        HIDCommandGetBootFirmwareVersion,
    };
    return sequence;
}

const std::vector<long> &powerDownSequence()
{
    static const std::vector<long> sequence = {HIDCommandPowerDown, HIDCommandA8Again};
    return sequence;
}

Report makeReport(const CommandBytes &command)
{
    Report report{};
    std::copy(command.begin(), command.end(), report.begin());
    return report;
}

bool isKnownReportCode(std::uint8_t code)
{
    switch (code) {
    case HIDReportJunk:
    case HIDReportFreezeButton:
    case HIDReportRotateButton:
    case HIDReportModeButton:
    case HIDReportFindPressed:
    case HIDReportOSDToggle:
    case HIDReportZoomIn:
    case HIDReportZoomIn2:
    case HIDReportZoomIn3:
    case HIDReportZoomOut:
    case HIDReportZoomOut2:
    case HIDReportZoomOut3:
    case HIDReportPositionDocument:
    case HIDReportPositionFar:
    case HIDReportPositionSelf:
    case HIDReportACPower:
    case HIDReportModeHold:
    case HIDReportFactoryReset:
    case HIDReportLightOn:
    case HIDReportLightOff:
    case HIDReportDeviceSerialNumber:
    case HIDReportDeviceFirmwareVersion:
    case HIDReportFindReleased:
    case HIDReportBatteryLevel3:
    case HIDReportBatteryLevel2:
    case HIDReportBatteryLevel1:
    case HIDReportUnfreeze:
    case HIDReportMagic:
    case HIDReportOSDHide:
    case HIDReportBoardSerialNumber:
    case HIDReportBootFirmwareVersion:
        return true;
    default:
        return false;
    }
}

std::string raw16BitText(std::span<const std::uint8_t> report)
{
    // 31 characters of two bytes each from byte 2; the low byte of each is kept.
    char text[32] = {};
    for (std::size_t i = 0; i < 31; ++i) {
        const std::size_t index = 2 + 2 * i;
        text[i] = index < report.size() ? static_cast<char>(report[index]) : '\0';
    }
    text[31] = '\0';
    return std::string(text, strnlen(text, sizeof text));
}

QString decode16BitText(std::span<const std::uint8_t> report)
{
    const std::string raw = raw16BitText(report);
    return QString::fromUtf8(raw.data(), static_cast<qsizetype>(raw.size()));
}

QString decode8BitText(std::span<const std::uint8_t> report)
{
    if (report.size() <= 2)
        return {};
    const std::size_t available = std::min<std::size_t>(report.size() - 2, kReportSize - 2);
    const char *start = reinterpret_cast<const char *>(report.data() + 2);
    return QString::fromUtf8(start, static_cast<qsizetype>(strnlen(start, available)));
}

std::string formatReportRows(std::span<const std::uint8_t> report)
{
    std::string text;
    char number[8];
    for (std::size_t row = 0; row < 4; ++row) {
        for (std::size_t column = 0; column < 16; ++column) {
            const std::size_t index = row * 16 + column;
            std::snprintf(number, sizeof number, "%x", index < report.size() ? report[index] : 0);
            if (column > 0)
                text += ' ';
            text += number;
        }
        text += '\n';
    }
    return text;
}

} // namespace kelvo::device
