#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include <QString>

// The camera's report vocabulary: command numbers and the report bytes they
// turn into, the codes of the reports the camera sends, and the helpers that
// read text payloads and format reports for the log. Pure functions, usable
// from any thread.
namespace kelvo::device {

// Every report in either direction is exactly this long.
inline constexpr std::size_t kReportSize = 64;
// A command report carries at most this many meaningful bytes.
inline constexpr std::size_t kCommandBytes = 8;

using Report = std::array<std::uint8_t, kReportSize>;
using CommandBytes = std::array<std::uint8_t, kCommandBytes>;

// Command numbers queued with sendHIDCommand(); the values are the wire
// protocol's and never change.
enum HIDCommand : long {
    HIDCommandFreeze = 0,
    HIDCommandUnfreeze = 1,
    HIDCommandA2 = 2,
    HIDCommandC0 = 3,
    HIDCommandCD = 4,
    HIDCommandA8 = 5,
    HIDCommandB10102 = 6,
    HIDCommandB10101 = 7,
    HIDCommandC5 = 8,
    HIDCommandC4 = 9,
    HIDCommandC7 = 10,
    HIDCommandC6 = 11,
    HIDCommandColorNormal = 12,
    HIDCommandColorCool = 13,
    HIDCommandColorWarm = 14,
    HIDCommandToggleLight = 15,
    HIDCommandZoom1 = 16,
    HIDCommandZoom2 = 17,
    HIDCommandZoom3 = 18,
    HIDCommandZoom4 = 19,
    HIDCommandZoom5 = 20,
    HIDCommandZoom6 = 21,
    HIDCommandZoom7 = 22,
    HIDCommandZoom8 = 23,
    HIDCommandPowerUp = 24,
    HIDCommandPowerDownSequence = 25,
    HIDCommandPowerDown = 26,
    HIDCommandA8Again = 27,
    HIDCommandA2Again = 28,
    HIDCommandGetFirmwareVersion = 29,
    HIDCommandGetBootFirmwareVersion = 30,
    HIDCommandGetDeviceSerialNumber = 31,
    HIDCommandGetBoardSerialNumber = 32,
    HIDCommandBurst = 33,
};

inline constexpr long kLastHIDCommand = HIDCommandBurst;

// Byte 0 of a report from the camera.
enum HIDReportCode : std::uint8_t {
    HIDReportJunk = 0x00,
    HIDReportFreezeButton = 0x80,
    HIDReportRotateButton = 0x81,
    HIDReportModeButton = 0x83,
    HIDReportFindPressed = 0x84,
    HIDReportOSDToggle = 0x85,
    HIDReportZoomIn = 0x86, // 0x87 and 0x88 are handled alike
    HIDReportZoomIn2 = 0x87,
    HIDReportZoomIn3 = 0x88,
    HIDReportZoomOut = 0x89, // 0x8A and 0x8B are handled alike
    HIDReportZoomOut2 = 0x8A,
    HIDReportZoomOut3 = 0x8B,
    HIDReportPositionDocument = 0x8C,
    HIDReportPositionFar = 0x8D,
    HIDReportPositionSelf = 0x8E,
    HIDReportACPower = 0x92,
    HIDReportModeHold = 0x93,
    HIDReportFactoryReset = 0x94,
    HIDReportLightOn = 0x96,
    HIDReportLightOff = 0x97,
    HIDReportDeviceSerialNumber = 0x99,
    HIDReportDeviceFirmwareVersion = 0x9A,
    HIDReportFindReleased = 0x9B,
    HIDReportBatteryLevel3 = 0xA0,
    HIDReportBatteryLevel2 = 0xA1,
    HIDReportBatteryLevel1 = 0xA2,
    HIDReportUnfreeze = 0xA7,
    HIDReportMagic = 0xA8,
    HIDReportOSDHide = 0xAA,
    HIDReportBoardSerialNumber = 0xAC,
    HIDReportBootFirmwareVersion = 0xAE,
};

// Lens positions carried by the eight camera-zoom commands, step 1 first.
inline constexpr std::array<std::uint16_t, 8> kZoomLensPositions = {0, 1880, 3624, 5311, 6803, 8183, 9491, 10636};

// True for a number inside 0..33; the comparison is unsigned, so negative
// numbers are outside.
constexpr bool isValidHIDCommand(long command)
{
    return static_cast<unsigned long>(command) <= static_cast<unsigned long>(kLastHIDCommand);
}

// True for the camera-zoom commands 16..23 (the value with its low three bits
// cleared is 16).
constexpr bool isCameraZoomCommand(long command)
{
    return (command & ~7L) == HIDCommandZoom1;
}

// True when the command only queues other commands (power up, power-down
// sequence) or runs on a queue of its own (burst).
constexpr bool isCompositeCommand(long command)
{
    return command == HIDCommandPowerUp || command == HIDCommandPowerDownSequence || command == HIDCommandBurst;
}

// The reports that one plain command sends, in order: one for most, two for
// freeze and unfreeze, four for the burst; empty for the two queueing
// composites and for invalid numbers.
std::vector<CommandBytes> commandReports(long command);

// The commands the power-up composite queues, in order.
const std::vector<long> &powerUpSequence();
// The commands the power-down sequence queues, in order.
const std::vector<long> &powerDownSequence();

// Builds a 64-byte report: zero-filled with the command bytes at its start.
Report makeReport(const CommandBytes &bytes);

// True when the decoder knows the code.
bool isKnownReportCode(std::uint8_t code);

// Reads the 16-bit text of a serial-number report: the low bytes of the 31
// little-endian characters from byte 2, up to the first zero, as UTF-8.
// A report shorter than 64 bytes reads as zero-padded.
QString decode16BitText(std::span<const std::uint8_t> report);
// Reads the 8-bit text of a firmware-version report: the zero-terminated
// string from byte 2, at most 62 bytes, as UTF-8.
QString decode8BitText(std::span<const std::uint8_t> report);

// The 16-bit text's raw bytes (before decoding), for the "In ASCII" line.
std::string raw16BitText(std::span<const std::uint8_t> report);

// Formats 64 bytes as four lines of sixteen unpadded lower-case hexadecimal
// numbers separated by blanks, each line ending in a line feed.
std::string formatReportRows(std::span<const std::uint8_t> report);

// The lens position carried by a camera-zoom report (bytes 2 and 3, little
// endian).
constexpr std::uint16_t lensPositionOf(std::span<const std::uint8_t> report)
{
    return report.size() < 4 ? 0 : static_cast<std::uint16_t>(report[2] | (report[3] << 8));
}

} // namespace kelvo::device
