#include <gtest/gtest.h>

#include <chrono>
#include <mutex>

#include "device/LocationId.h"
#include "device/ReportProtocol.h"
#include "device/sim/QuadrelSimulator.h"

using namespace kelvo::device;
using kelvo::device::sim::QuadrelIdentity;
using kelvo::device::sim::QuadrelSimulator;
using namespace std::chrono_literals;

namespace {

struct CameraFixture : ::testing::Test {
    CameraFixture()
    {
        camera.setReportSink([this](const Report &report) {
            std::lock_guard lock(mutex);
            sent.push_back(report);
        });
    }
    std::vector<Report> sentReports()
    {
        std::lock_guard lock(mutex);
        return sent;
    }
    void host(long command)
    {
        for (const CommandBytes &bytes : commandReports(command))
            camera.receiveHostReport(makeReport(bytes));
    }

    QuadrelSimulator camera{QuadrelIdentity{"SERIAL-1", "BOARD-2", "4.5.6", "0.7"}};
    std::mutex mutex;
    std::vector<Report> sent;
};

} // namespace

TEST_F(CameraFixture, AnswersIdentityRequestsWithItsConfiguredIdentity)
{
    host(HIDCommandGetDeviceSerialNumber);
    host(HIDCommandGetBoardSerialNumber);
    host(HIDCommandGetFirmwareVersion);
    host(HIDCommandGetBootFirmwareVersion);
    const auto reports = sentReports();
    ASSERT_EQ(reports.size(), 4u);
    EXPECT_EQ(reports[0][0], 0x99);
    EXPECT_EQ(decode16BitText(reports[0]), "SERIAL-1");
    EXPECT_EQ(reports[1][0], 0xAC);
    EXPECT_EQ(decode16BitText(reports[1]), "BOARD-2");
    EXPECT_EQ(reports[2][0], 0x9A);
    EXPECT_EQ(decode8BitText(reports[2]), "4.5.6");
    EXPECT_EQ(reports[3][0], 0xAE);
    EXPECT_EQ(decode8BitText(reports[3]), "0.7");
}

TEST_F(CameraFixture, KeepsLightZoomAndFreezeStateAndTellsItsObservers)
{
    std::vector<std::string> events;
    camera.setLensPositionObserver([&](std::uint16_t lens) { events.push_back("lens " + std::to_string(lens)); });
    camera.setFrozenObserver([&](bool frozen) { events.push_back(frozen ? "frozen" : "live"); });
    camera.setLightObserver([&](bool on) { events.push_back(on ? "light on" : "light off"); });

    for (long command : powerUpSequence())
        host(command);
    EXPECT_TRUE(camera.isPoweredUp());
    EXPECT_TRUE(camera.lightIsOn());
    EXPECT_FALSE(camera.isFrozen()); // frozen then unfrozen by the sequence
    host(HIDCommandZoom5);
    EXPECT_EQ(camera.lensPosition(), 6803);
    EXPECT_EQ(camera.zoomStep(), 5);
    host(HIDCommandFreeze);
    EXPECT_TRUE(camera.isFrozen());
    host(HIDCommandToggleLight);
    EXPECT_FALSE(camera.lightIsOn());
    host(HIDCommandColorWarm);
    EXPECT_EQ(camera.colorBalance(), 2);
    host(HIDCommandPowerDown);
    EXPECT_FALSE(camera.isPoweredUp());

    EXPECT_EQ(events, (std::vector<std::string>{"light on", "frozen", "live", "lens 6803", "frozen", "light off"}));
    // The light changes are reported to the host as 96 and 97.
    std::vector<int> lightReports;
    for (const Report &report : sentReports()) {
        if (report[0] == 0x96 || report[0] == 0x97)
            lightReports.push_back(report[0]);
    }
    EXPECT_EQ(lightReports, (std::vector<int>{0x96, 0x97}));
}

TEST_F(CameraFixture, SendsButtonPositionBatteryAndPowerReports)
{
    camera.setHeadPosition(0);
    camera.setHeadPosition(2);
    camera.reportBatteryLevel(3);
    camera.reportBatteryLevel(1);
    camera.reportACPower();
    camera.setLight(true);
    camera.sendCode(HIDReportFindPressed);
    std::vector<int> codes;
    for (const Report &report : sentReports())
        codes.push_back(report[0]);
    EXPECT_EQ(codes, (std::vector<int>{0x8C, 0x8E, 0xA0, 0xA2, 0x92, 0x96, 0x84}));
    EXPECT_TRUE(camera.lightIsOn());
}

TEST_F(CameraFixture, ScriptsSendTheirReportsInOrderAfterTheirDelays)
{
    std::vector<sim::ScriptStep> steps;
    ASSERT_TRUE(QuadrelSimulator::parseScript("0 86\n30 8d\n0 a0\n", steps));
    const auto started = std::chrono::steady_clock::now();
    camera.runScript(steps);
    for (int i = 0; i < 200 && sentReports().size() < 3; ++i)
        std::this_thread::sleep_for(5ms);
    const auto elapsed = std::chrono::steady_clock::now() - started;
    std::vector<int> codes;
    for (const Report &report : sentReports())
        codes.push_back(report[0]);
    EXPECT_EQ(codes, (std::vector<int>{0x86, 0x8D, 0xA0}));
    EXPECT_GE(elapsed, 30ms);

    // A long script is stopped early.
    ASSERT_TRUE(QuadrelSimulator::parseScript("10000 81\n", steps));
    camera.runScript(steps);
    camera.stopScript();
    EXPECT_EQ(sentReports().size(), 3u);
}

TEST(LocationId, BusInTheTopByteAndOneNibblePerPort)
{
    const std::uint8_t ports[] = {1, 4, 2};
    EXPECT_EQ(locationIdFromPorts(1, ports), 0x01142000u);
    EXPECT_EQ(locationIdFromDevpath(1, "1.4.2"), 0x01142000u);
    EXPECT_EQ(locationIdFromDevpath(3, "2"), 0x03200000u);
    EXPECT_EQ(locationIdFromDevpath(2, "0"), 0x02000000u);
    // Ports above 15 keep their low nibble; more than six levels are cut.
    EXPECT_EQ(locationIdFromDevpath(1, "17.1.1.1.1.1.9"), 0x01111111u);
    EXPECT_EQ(locationIdFromDevpath(1, "3.x"), 0x01300000u);
}
