#include <gtest/gtest.h>

#include "device/ReportProtocol.h"
#include "device/sim/QuadrelSimulator.h"

using namespace kelvo::device;

namespace {

Report reportWith(std::initializer_list<std::uint8_t> bytes)
{
    Report report{};
    std::copy(bytes.begin(), bytes.end(), report.begin());
    return report;
}

} // namespace

TEST(ReportProtocol, RangeIsUnsignedAndZoomCommandsAreSixteenToTwentyThree)
{
    EXPECT_TRUE(isValidHIDCommand(0));
    EXPECT_TRUE(isValidHIDCommand(33));
    EXPECT_FALSE(isValidHIDCommand(34));
    EXPECT_FALSE(isValidHIDCommand(-1));
    EXPECT_FALSE(isValidHIDCommand(-34));
    EXPECT_TRUE(commandReports(34).empty());
    EXPECT_TRUE(commandReports(-1).empty());
    for (long command = -2; command < 40; ++command)
        EXPECT_EQ(isCameraZoomCommand(command), command >= 16 && command <= 23) << command;
}

TEST(ReportProtocol, CompositeSequences)
{
    EXPECT_EQ(powerUpSequence(), (std::vector<long>{2, 3, 4, 5, 9, 0, 1, 1, 28, 31, 32, 29, 30}));
    EXPECT_EQ(powerDownSequence(), (std::vector<long>{26, 27}));
}

TEST(ReportProtocol, MakeReportZeroPadsToSixtyFourBytes)
{
    const Report report = makeReport(CommandBytes{0xCF, 0x02, 0x8C, 0x29, 0, 0, 0, 0xEE});
    EXPECT_EQ(report[0], 0xCF);
    EXPECT_EQ(report[3], 0x29);
    EXPECT_EQ(report[7], 0xEE);
    for (std::size_t i = 8; i < kReportSize; ++i)
        EXPECT_EQ(report[i], 0) << i;
    EXPECT_EQ(lensPositionOf(report), 10636);
}

TEST(ReportProtocol, SixteenBitTextTakesLowBytesUpToFirstZero)
{
    // A full 31-character text has no terminator inside the report.
    Report full{};
    full[0] = 0x99;
    std::string expected;
    for (int i = 0; i < 31; ++i) {
        full[2 + 2 * i] = static_cast<std::uint8_t>('A' + i % 26);
        full[3 + 2 * i] = 0x01; // high bytes are ignored
        expected += static_cast<char>('A' + i % 26);
    }
    EXPECT_EQ(decode16BitText(full).toStdString(), expected);
    EXPECT_EQ(decode16BitText(full).size(), 31);

    const Report shortText = reportWith({0xAC, 0x00, 'S', 0x00, 'N', 0x00, '1', 0x00, 0x00, 0x00, 'X', 0x00});
    EXPECT_EQ(decode16BitText(shortText).toStdString(), "SN1");
    EXPECT_EQ(decode16BitText(reportWith({0x99})).toStdString(), "");
}

TEST(ReportProtocol, EightBitTextStopsAtZeroOrAfterSixtyTwoBytes)
{
    Report unterminated{};
    unterminated[0] = 0x9A;
    for (std::size_t i = 2; i < kReportSize; ++i)
        unterminated[i] = static_cast<std::uint8_t>('0' + i % 10);
    const QString text = decode8BitText(unterminated);
    EXPECT_EQ(text.size(), 62);
    EXPECT_EQ(text.at(0), QChar('2'));
    EXPECT_EQ(text.at(61), QChar('3'));

    EXPECT_EQ(decode8BitText(reportWith({0xAE, 0x7F, '1', '.', '2', 0, '9'})).toStdString(), "1.2");
    // UTF-8 is decoded, not taken byte by byte.
    EXPECT_EQ(decode8BitText(reportWith({0x9A, 0, 0xC3, 0xA9})), QString::fromUtf8("\xC3\xA9"));
}

TEST(ReportProtocol, RowsAreUnpaddedLowerCaseHex)
{
    Report report{};
    report[0] = 0xAB;
    report[1] = 0x05;
    report[15] = 0x10;
    report[16] = 0xFF;
    report[63] = 0x0C;
    const std::string rows = formatReportRows(report);
    EXPECT_EQ(rows, "ab 5 0 0 0 0 0 0 0 0 0 0 0 0 0 10\n"
                    "ff 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0\n"
                    "0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0\n"
                    "0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 c\n");
}

TEST(ReportProtocol, KnownCodesAreExactlyTheDecodersTable)
{
    const std::vector<int> known = {0x00, 0x80, 0x81, 0x83, 0x84, 0x85, 0x86, 0x87, 0x88, 0x89, 0x8A,
                                    0x8B, 0x8C, 0x8D, 0x8E, 0x92, 0x93, 0x94, 0x96, 0x97, 0x99, 0x9A,
                                    0x9B, 0xA0, 0xA1, 0xA2, 0xA7, 0xA8, 0xAA, 0xAC, 0xAE};
    for (int code = 0; code < 256; ++code) {
        const bool expected = std::find(known.begin(), known.end(), code) != known.end();
        EXPECT_EQ(isKnownReportCode(static_cast<std::uint8_t>(code)), expected) << std::hex << code;
    }
}

TEST(QuadrelScript, ParsesStepsAndRejectsMalformedLines)
{
    using kelvo::device::sim::QuadrelSimulator;
    using kelvo::device::sim::ScriptStep;
    std::vector<ScriptStep> steps;
    ASSERT_TRUE(QuadrelSimulator::parseScript("# zoom in twice\n250 86\n\n0 99 00 51 00\n", steps));
    ASSERT_EQ(steps.size(), 2u);
    EXPECT_EQ(steps[0].delayMs, 250);
    EXPECT_EQ(steps[0].report[0], 0x86);
    EXPECT_EQ(steps[1].report[2], 0x51);
    EXPECT_FALSE(QuadrelSimulator::parseScript("10 zz\n", steps));
    EXPECT_FALSE(QuadrelSimulator::parseScript("-5 86\n", steps));
    EXPECT_FALSE(QuadrelSimulator::parseScript("100\n", steps));
    EXPECT_EQ(steps.size(), 2u); // a failed parse leaves the steps alone
}
