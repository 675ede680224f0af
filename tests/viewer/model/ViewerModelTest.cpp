#include "viewer/model/ViewerModel.h"
#include "common/SystemLog.h"
#include "device/ReportProtocol.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

using namespace kelvo;
using namespace kelvo::viewer;

namespace {

// Answers for the camera: every command accepted unless `refuse` is set.
struct Camera final : CameraCommandSender {
    std::vector<long> sent;
    bool refuse = false;
    bool sendHIDCommand(long command) override
    {
        if (refuse)
            return false;
        sent.push_back(command);
        return true;
    }
};

// The widget side as the model sees it: each step is written down, with the
// head position a save or load went to.
struct Host final : ViewerModelHost {
    ViewerModel *model = nullptr;
    std::vector<std::string> steps;
    bool osdVisible = false;
    void savePreferences() override { steps.push_back("save " + std::to_string(model->quadrelPhysicalOrientation())); }
    void loadPreferences() override { steps.push_back("load " + std::to_string(model->quadrelPhysicalOrientation())); }
    void setImageFilters() override { steps.push_back("picture"); }
    void setDigitalZoomLevel(double level) override
    {
        steps.push_back("digital " + std::to_string(level).substr(0, 4));
    }
    void redrawGuides() override { steps.push_back("guides"); }
    void beep() override { steps.push_back("beep"); }
    bool OSDIsVisible() const override { return osdVisible; }
    void hideOnScreenDisplay() override { steps.push_back("hide osd"); }
    void showLivePicture() override { steps.push_back("live"); }
    void setPreviewOrientation(int orientation, bool mirrored) override
    {
        steps.push_back("preview " + std::to_string(orientation) + (mirrored ? " mirrored" : ""));
    }
    void finishSavingFreezeFrame() override { steps.push_back("write still"); }
};

struct Rig {
    Host host;
    Camera camera;
    ViewerModel model{host};
    Rig()
    {
        host.model = &model;
        model.setCameraCommandSender(&camera);
    }
};

} // namespace

// The zoom's rule in full, as the camera and the picture see it: eight lens
// steps, then digital magnification with the lens held at its longest, the
// command sent on every call, and the level saved.
TEST(ViewerModel, ZoomDrivesTheLensThenTheDigitalMagnification)
{
    Rig rig;
    int changes = 0;
    QObject::connect(&rig.model, &ViewerModel::zoomLevelChanged, [&](int) { ++changes; });
    rig.model.setZoomLevel(8);
    rig.model.zoomCameraIn();
    EXPECT_EQ(rig.model.zoomLevel(), 9);
    EXPECT_EQ(rig.camera.sent, (std::vector<long>{device::HIDCommandZoom8, device::HIDCommandZoom8}));
    EXPECT_EQ(rig.host.steps, (std::vector<std::string>{"digital 1.00", "guides", "save 0", "digital 1.33", "guides",
                                                        "save 0", "guides"}));
    rig.model.setZoomLevel(40);
    EXPECT_EQ(rig.model.zoomLevel(), 16);
    rig.model.setZoomLevel(-3);
    EXPECT_EQ(rig.model.zoomLevel(), 1);
    EXPECT_EQ(rig.camera.sent.back(), device::HIDCommandZoom1);
    EXPECT_EQ(changes, 4);

    // Locating remembers the level, and zooming meanwhile forgets it.
    rig.model.setZoomLevel(12);
    rig.model.findZoomPosition();
    EXPECT_EQ(rig.model.zoomLevel(), 1);
    EXPECT_EQ(rig.model.savedZoomLevel(), 12);
    rig.model.zoomCameraIn();
    rig.model.findZoomPositionExit();
    EXPECT_EQ(rig.model.zoomLevel(), 2);
}

// A refused command never changes the outcome: the state moves as if it had
// gone, observers hear of it, and the refusal is logged.
TEST(ViewerModel, RefusedCommandsAreLoggedAndTheStateStillChanges)
{
    Rig rig;
    rig.camera.refuse = true;
    ScopedLogCapture log;
    bool light = false;
    QObject::connect(&rig.model, &ViewerModel::lightChanged, [&](bool on) { light = on; });
    rig.model.toggleLight();
    rig.model.setColorBalanceMode(2);
    rig.model.freezeFrame();
    EXPECT_TRUE(light);
    EXPECT_EQ(rig.model.colorBalanceMode(), 2);
    EXPECT_TRUE(rig.model.isFrozen());
    EXPECT_TRUE(log.contains("Could not send toggle light command.\n"));
    EXPECT_TRUE(log.contains("Could not send color warm command.\n"));
    EXPECT_TRUE(log.contains("Could not send freeze command.\n"));
    rig.model.setColorBalanceMode(3);
    EXPECT_EQ(rig.model.colorBalanceMode(), 2);
    EXPECT_TRUE(log.contains("Unknown color mode.\n"));
}

// Saving from a live picture freezes first and writes once the frame is
// there; letting go of the freeze before the frame came calls the save off,
// and the live picture is back before the capture can take another frame.
TEST(ViewerModel, ASaveWaitsForItsFrameAndUnfreezingCallsItOff)
{
    Rig rig;
    rig.host.osdVisible = true;
    rig.model.saveFreezeFrame();
    EXPECT_TRUE(rig.model.isFrozen());
    EXPECT_TRUE(rig.model.waitingToSave());
    EXPECT_TRUE(rig.model.unfreezeWhenSaved());
    rig.model.unfreezeFrame();
    EXPECT_FALSE(rig.model.waitingToSave());
    EXPECT_FALSE(rig.model.unfreezeWhenSaved());
    EXPECT_EQ(rig.host.steps, (std::vector<std::string>{"hide osd", "live"}));

    rig.host.steps.clear();
    rig.model.freezeFrame();
    EXPECT_TRUE(rig.model.takeWaitingToFreeze());
    EXPECT_FALSE(rig.model.takeWaitingToFreeze());
    rig.model.saveFreezeFrame();
    rig.model.startStopRecording();
    EXPECT_FALSE(rig.model.isFrozen());
    EXPECT_TRUE(rig.model.isRecording());
    EXPECT_EQ(rig.host.steps, (std::vector<std::string>{"hide osd", "write still", "live"}));
}

// Turning the head saves the old position's settings and loads the new
// one's; far and self always begin in the normal colour mode, the document
// position keeps its own.
TEST(ViewerModel, TurningTheHeadSwitchesTheSettingsRecord)
{
    Rig rig;
    rig.model.setPreferredFilters({0, 5, 9});
    rig.model.setChosenNonPreferredColorMode(9);
    EXPECT_EQ(rig.model.colourSelection().chosenPreferredColorMode, 2);
    rig.host.steps.clear();
    rig.model.setQuadrelPhysicalOrientation(1);
    EXPECT_EQ(rig.model.colourSelection().chosenNonPreferredColorMode, 0);
    EXPECT_EQ(rig.host.steps, (std::vector<std::string>{"save 0", "load 1", "guides", "save 1", "picture", "save 1"}));
    rig.host.steps.clear();
    rig.model.setQuadrelPhysicalOrientation(0);
    EXPECT_EQ(rig.host.steps, (std::vector<std::string>{"save 1", "load 0"}));
}

// The orientation cycles through the quarter turns in the camera's order,
// only where the preview can turn; mirroring falls back to off where the
// preview cannot mirror.
TEST(ViewerModel, TurningAndMirroringFollowWhatThePreviewCanDo)
{
    Rig rig;
    ScopedLogCapture log;
    rig.model.rotateWindowUIAction();
    EXPECT_EQ(rig.model.videoOrientation(), 1);
    EXPECT_TRUE(log.contains("Orientation not supported\n"));

    rig.model.setPreviewConnection(true, true, false);
    std::vector<int> seen;
    QObject::connect(&rig.model, &ViewerModel::orientationChanged, [&](int o) { seen.push_back(o); });
    for (int i = 0; i < 4; ++i)
        rig.model.rotateWindowUIAction();
    EXPECT_EQ(seen, (std::vector<int>{4, 2, 3, 1}));
    rig.model.mirrorScreenUIAction();
    EXPECT_FALSE(rig.model.isMirrored());
    EXPECT_TRUE(log.contains("Mirroring not supported\n"));

    rig.model.setPreviewConnection(true, true, true);
    rig.host.steps.clear();
    rig.model.mirrorScreenUIAction();
    EXPECT_TRUE(rig.model.isMirrored());
    EXPECT_EQ(rig.host.steps, (std::vector<std::string>{"preview 1 mirrored", "picture", "save 0"}));
}
