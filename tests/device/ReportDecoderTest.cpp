#include <gtest/gtest.h>

#include "DeviceTestSupport.h"
#include "common/SystemLog.h"
#include "device/DeviceLink.h"
#include "device/sim/QuadrelSimulator.h"
#include "device/sim/SimulatedUsbPipeIo.h"

using namespace kelvo::device;
using kelvo::device::test::RecordingApplication;
using kelvo::device::test::RecordingViewer;
using Calls = std::vector<std::string>;

namespace {

Report codeReport(std::uint8_t code)
{
    Report report{};
    report[0] = code;
    return report;
}

struct DecoderFixture : ::testing::Test {
    DecoderFixture()
    {
        link.setViewerActions(&viewer);
        link.setApplicationActions(&application);
    }
    DeviceLink link;
    RecordingViewer viewer;
    RecordingApplication application;
};

struct Route {
    int code;
    Calls normal;
    Calls diagnostic; // the calls with diagnostic mode on
    Calls application;
};

// The decoder's routing, written out per code from the protocol's table.
const std::vector<Route> &routes()
{
    static const std::vector<Route> table = {
        {0x80, {"freezeFrame"}, {"handleButton 80"}, {}},
        {0x81, {"rotateWindowUIAction"}, {"handleButton 81"}, {}},
        {0x83, {"nextColorMode"}, {"handleButton 83"}, {}},
        {0x84, {"findZoomPositionEnter"}, {"handleButton 84"}, {}},
        {0x85, {"showHideOnScreenDisplay"}, {"handleButton aa"}, {}},
        {0x86, {"zoomCameraIn"}, {"handleButton 86"}, {}},
        {0x87, {"zoomCameraIn"}, {"handleButton 87"}, {}},
        {0x88, {"zoomCameraIn"}, {"handleButton 88"}, {}},
        {0x89, {"zoomCameraOut"}, {"handleButton 89"}, {}},
        {0x8A, {"zoomCameraOut"}, {"handleButton 8a"}, {}},
        {0x8B, {"zoomCameraOut"}, {"handleButton 8b"}, {}},
        {0x8C, {"setQuadrelPhysicalOrientation 0"}, {"handleButton 8c"}, {}},
        {0x8D, {"setQuadrelPhysicalOrientation 1"}, {"handleButton 8d"}, {}},
        {0x8E, {"setQuadrelPhysicalOrientation 2"}, {"handleButton 8e"}, {}},
        {0x92, {"hideBatteryLevelIndicator"}, {"hideBatteryLevelIndicator"}, {"stopBatteryTimer"}},
        {0x93, {"setChosenPreferredColorMode 0"}, {"handleButton 93"}, {}},
        {0x94, {"factoryReset"}, {"handleButton 94"}, {}},
        {0x96, {"setLightIsOn 1"}, {"handleButton 96"}, {}},
        {0x97, {"setLightIsOn 0"}, {"handleButton 97"}, {}},
        {0x99, {"checkForUpdates"}, {"checkForUpdates"}, {}},
        {0x9A, {"checkForUpdates"}, {"checkForUpdates"}, {}},
        {0x9B, {"findZoomPositionExit"}, {"handleButton 9b"}, {}},
        {0xA0,
         {"setBatteryLevel 3", "showBatteryLevelIndicator"},
         {"setBatteryLevel 3", "showBatteryLevelIndicator"},
         {"startBatteryTimer"}},
        {0xA1,
         {"setBatteryLevel 2", "showBatteryLevelIndicator"},
         {"setBatteryLevel 2", "showBatteryLevelIndicator"},
         {}},
        {0xA2,
         {"setBatteryLevel 1", "showBatteryLevelIndicator"},
         {"setBatteryLevel 1", "showBatteryLevelIndicator"},
         {}},
        {0xA7, {"unfreezeFrame"}, {"handleButton a7"}, {}},
        {0xA8, {}, {}, {}},
        {0xAA, {"hideOnScreenDisplay"}, {"handleButton aa"}, {}},
        {0xAC, {"checkForUpdates"}, {"checkForUpdates"}, {}},
        {0xAE, {"checkForUpdates"}, {"checkForUpdates"}, {}},
        {0x00, {}, {}, {}},
    };
    return table;
}

} // namespace

TEST_F(DecoderFixture, EveryCodeIsRoutedInBothModes)
{
    for (bool diagnostic : {false, true}) {
        link.setDiagnosticMode(diagnostic);
        for (const Route &route : routes()) {
            viewer.clear();
            application.calls.clear();
            kelvo::ScopedLogCapture log;
            EXPECT_TRUE(link.parseHIDResponse(codeReport(static_cast<std::uint8_t>(route.code))))
                << std::hex << route.code;
            EXPECT_EQ(viewer.calls(), diagnostic ? route.diagnostic : route.normal)
                << std::hex << route.code << " diagnostic " << diagnostic;
            EXPECT_EQ(application.calls, route.application) << std::hex << route.code;
            const std::vector<std::string> lines = log.lines();
            ASSERT_FALSE(lines.empty());
            EXPECT_EQ(lines.back().rfind("Report data:\n", 0), 0u) << std::hex << route.code;
        }
    }
}

TEST_F(DecoderFixture, EveryOtherCodeIsUnknownAndDoesNothing)
{
    for (bool diagnostic : {false, true}) {
        link.setDiagnosticMode(diagnostic);
        for (int code = 0; code < 256; ++code) {
            const bool routed =
                std::any_of(routes().begin(), routes().end(), [&](const Route &route) { return route.code == code; });
            if (routed)
                continue;
            viewer.clear();
            kelvo::ScopedLogCapture log;
            EXPECT_FALSE(link.parseHIDResponse(codeReport(static_cast<std::uint8_t>(code)))) << std::hex << code;
            EXPECT_TRUE(viewer.calls().empty()) << std::hex << code;
            EXPECT_EQ(log.lines().front().rfind("Unknown report code:\n", 0), 0u);
        }
    }
}

TEST_F(DecoderFixture, UnknownCodeIsLoggedInHexAndAsText)
{
    for (std::uint8_t code : {0x7F, 0x82, 0xFF}) {
        Report report = sim::QuadrelSimulator::wideTextReport(code, "Hi!");
        report[63] = 0x1F;
        kelvo::ScopedLogCapture log;
        EXPECT_FALSE(link.parseHIDResponse(report));
        const std::vector<std::string> lines = log.lines();
        ASSERT_EQ(lines.size(), 2u);
        char first[8];
        std::snprintf(first, sizeof first, "%x", code);
        const std::string rows = std::string(first) + " 0 48 0 69 0 21 0 0 0 0 0 0 0 0 0\n" +
                                 "0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0\n" + "0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0\n" +
                                 "0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 1f\n";
        EXPECT_EQ(lines[0], "Unknown report code:\n" + rows + "In ASCII: Hi!\n");
        EXPECT_EQ(lines[1], "Report data:\n" + rows);
        EXPECT_TRUE(viewer.calls().empty());
    }
}

TEST_F(DecoderFixture, MissingDataAnswersNoAndLogsNothing)
{
    kelvo::ScopedLogCapture log;
    EXPECT_FALSE(link.parseHIDResponse({}));
    EXPECT_TRUE(log.entries().empty());
}

TEST_F(DecoderFixture, ButtonsDriveTheOnScreenMenuOrTheGuidesBeforeTheZoom)
{
    struct Case {
        bool osd, scrolls, spacing;
        int code;
        Calls expected;
    };
    const std::vector<Case> cases = {
        {true, true, true, 0x83, {"keyDown 36"}},
        {true, true, true, 0x86, {"keyDown 126"}},
        {true, true, true, 0x8B, {"keyDown 125"}},
        {false, true, true, 0x83, {"nextColorMode"}},
        {false, true, true, 0x87, {"scrollDownwards"}},
        {false, true, true, 0x8A, {"scrollUpwards"}},
        {false, false, true, 0x88, {"increaseLineSeparation"}},
        {false, false, true, 0x89, {"decreaseLineSeparation"}},
        {false, false, false, 0x88, {"zoomCameraIn"}},
    };
    for (const Case &c : cases) {
        viewer.clear();
        viewer.osdVisible = c.osd;
        viewer.scrollsGuides = c.scrolls;
        viewer.changesSpacing = c.spacing;
        kelvo::ScopedLogCapture log;
        EXPECT_TRUE(link.parseHIDResponse(codeReport(static_cast<std::uint8_t>(c.code))));
        EXPECT_EQ(viewer.calls(), c.expected) << std::hex << c.code;
    }
}

TEST_F(DecoderFixture, SyntheticKeysCarryTheMenuKeyFields)
{
    viewer.windowNumber = 4242;
    link.sendOSDReturn();
    link.sendOSDUpArrow();
    link.sendOSDDownArrow();
    const auto keys = viewer.keys();
    ASSERT_EQ(keys.size(), 3u);
    const int expectedQtKeys[] = {Qt::Key_Return, Qt::Key_Up, Qt::Key_Down};
    const unsigned short expectedCodes[] = {36, 126, 125};
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(keys[i].keyCode, expectedCodes[i]);
        EXPECT_EQ(keys[i].qtKey, expectedQtKeys[i]);
        EXPECT_EQ(keys[i].modifierFlags, 0xA00000u);
        EXPECT_EQ(keys[i].timestamp, 900.0);
        EXPECT_EQ(keys[i].windowNumber, 4242);
        EXPECT_FALSE(keys[i].isRepeat);
    }
}

TEST_F(DecoderFixture, DiagnosticModeWithoutWindowForwardsNowhere)
{
    viewer.hasDiagnosticWindow = false;
    link.setDiagnosticMode(true);
    kelvo::ScopedLogCapture log;
    EXPECT_TRUE(link.parseHIDResponse(codeReport(0x80)));
    EXPECT_TRUE(viewer.calls().empty());
}

TEST_F(DecoderFixture, IdentityIsSetBeforeTheUpdateCheckRuns)
{
    std::vector<std::string> seen;
    viewer.onCall = [&](const std::string &call) {
        if (call == "checkForUpdates")
            seen.push_back(link.deviceSerialNumber().toStdString() + "|" + link.boardSerialNumber().toStdString() +
                           "|" + link.deviceFirmwareVersion().toStdString() + "|" +
                           link.bootFirmwareVersion().toStdString());
    };
    kelvo::ScopedLogCapture log;
    EXPECT_FALSE(link.gotDeviceSerialNumber());
    link.parseHIDResponse(sim::QuadrelSimulator::wideTextReport(0x99, "DEV1"));
    link.parseHIDResponse(sim::QuadrelSimulator::wideTextReport(0xAC, "BRD2"));
    link.parseHIDResponse(sim::QuadrelSimulator::narrowTextReport(0x9A, "3.4.5"));
    link.parseHIDResponse(sim::QuadrelSimulator::narrowTextReport(0xAE, "0.1"));
    EXPECT_EQ(seen, (std::vector<std::string>{"DEV1|NOT DETECTED|NOT DETECTED|NOT DETECTED",
                                              "DEV1|BRD2|NOT DETECTED|NOT DETECTED", "DEV1|BRD2|3.4.5|NOT DETECTED",
                                              "DEV1|BRD2|3.4.5|0.1"}));
    EXPECT_TRUE(link.gotDeviceSerialNumber() && link.gotBoardSerialNumber() && link.gotDeviceFirmwareVersion() &&
                link.gotBootFirmwareVersion());

    link.resetDeviceInfo();
    EXPECT_EQ(link.deviceFirmwareVersion(), "NOT DETECTED");
    EXPECT_EQ(link.bootFirmwareVersion(), "NOT DETECTED");
    EXPECT_FALSE(link.gotDeviceSerialNumber() || link.gotBoardSerialNumber() || link.gotDeviceFirmwareVersion() ||
                 link.gotBootFirmwareVersion());
}

TEST_F(DecoderFixture, MagicIsLoggedAndIgnored)
{
    Report report = codeReport(0xA8);
    report[1] = 0x01;
    report[2] = 0xFE;
    report[3] = 0x30;
    kelvo::ScopedLogCapture log;
    EXPECT_TRUE(link.parseHIDResponse(report));
    EXPECT_TRUE(log.contains("Received magic: 0xa8 0x01 0xfe 0x30.  Ignoring.\n"));
    EXPECT_TRUE(viewer.calls().empty());
}

TEST_F(DecoderFixture, JunkClearsTheReadPipeStallOfEveryVendorInterface)
{
    auto camera = std::make_shared<sim::QuadrelSimulator>();
    auto *firstIo = new sim::SimulatedUsbPipeIo(camera, 1);
    auto *secondIo = new sim::SimulatedUsbPipeIo(camera, 2);
    link.addInterfaceInterface(link.makeVendorInterface(std::unique_ptr<UsbPipeIo>(firstIo)));
    link.addInterfaceInterface(link.makeVendorInterface(std::unique_ptr<UsbPipeIo>(secondIo)));
    kelvo::ScopedLogCapture log;
    EXPECT_TRUE(link.parseHIDResponse(codeReport(0x00)));
    EXPECT_EQ(firstIo->clearStallCount(1), 1);
    EXPECT_EQ(secondIo->clearStallCount(1), 1);
    EXPECT_EQ(firstIo->clearStallCount(2), 0);
    EXPECT_TRUE(viewer.calls().empty());
    EXPECT_EQ(log.lines().size(), 1u);
}
