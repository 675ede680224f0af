#include "ViewerRig.h"

#include "device/sim/SimulatedQuadrel.h"
#include "ui/MainMenu.h"
#include "ui/MenuTags.h"
#include "ui/VideoView.h"
#include "video/capture/CaptureFakes.h"

#include <QAction>
#include <QFileDialog>
#include <QFileInfo>
#include <QImage>
#include <QMenu>
#include <QMenuBar>

using namespace kelvo;
using namespace kelvo::testing;
using namespace kelvo::video::testing;

namespace {

struct CaptureRig : ViewerRig {
    FakeCaptureBackend backend;
    ManualScheduler scheduler;
    std::vector<std::string> rescans;

    CaptureRig() : ViewerRig(false)
    {
        controller.attachCapture(backend, scheduler);
        // What the application does for the camera: open its report channel.
        controller.setHIDRescanHandler([this](const std::optional<video::CaptureDevice> &device) {
            rescans.push_back(device ? device->uniqueID : "");
            if (device && device->modelID == video::kQuadrelModelID && link.hidInterfaces().empty())
                device::sim::attachSimulatedQuadrel(link, camera);
        });
    }

    ~CaptureRig() { controller.detachCapture(); }

    QMenu *cameraMenu() { return ui::findMenuItem(controller.mainMenu()->menuBar(), 42, 42)->menu(); }
};

std::vector<QString> checkedTitles(QMenu *menu)
{
    std::vector<QString> out;
    for (QAction *a : menu->actions())
        if (a->isChecked())
            out.push_back(a->text());
    return out;
}

} // namespace

TEST(ViewerCapture, StartingWithTheQuadrelOpensItsButtonsAndListsBothCameras)
{
    CaptureRig rig;
    rig.backend.videoList = {builtInCamera(), quadrelCamera()};
    rig.controller.initializeVideoCapture();
    rig.settle();

    EXPECT_EQ(rig.rescans, std::vector<std::string>{"quadrel"});
    ASSERT_EQ(rig.cameraMenu()->actions().size(), 2);
    EXPECT_EQ(checkedTitles(rig.cameraMenu()), std::vector<QString>{quadrelCamera().localizedName});
    // The camera was powered up and answered with its identity.
    EXPECT_EQ(rig.link.hidInterfaces().size(), 1u);
    EXPECT_TRUE(rig.waitFor([&] { return rig.link.gotDeviceSerialNumber(); }));
    // The Quadrel's document position turns the picture by default.
    EXPECT_EQ(rig.controller.videoOrientation(), 2);
    EXPECT_TRUE(rig.controller.enableDeinterlaceMenuItem());
    // Orientation is now supported by the running preview.
    rig.controller.rotateWindowUIAction();
    EXPECT_EQ(rig.controller.videoOrientation(), 3);
}

TEST(ViewerCapture, ChoosingAnotherCameraStopsTheDeviceLinkAndResetsTheHead)
{
    CaptureRig rig;
    rig.backend.videoList = {builtInCamera(), quadrelCamera()};
    rig.controller.initializeVideoCapture();
    rig.settle();
    rig.controller.setQuadrelPhysicalOrientation(2L);
    rig.controller.showBatteryLevelIndicator();

    rig.cameraMenu()->actions().at(0)->trigger();
    rig.settle();
    EXPECT_EQ(checkedTitles(rig.cameraMenu()), std::vector<QString>{builtInCamera().localizedName});
    EXPECT_TRUE(rig.link.hidInterfaces().empty());
    EXPECT_EQ(rig.controller.quadrelPhysicalOrientation(), 0);
    EXPECT_FALSE(rig.controller.batteryLevelIndicatorShown());
    EXPECT_FALSE(rig.controller.enableDeinterlaceMenuItem());
    // The power-down report reached the camera before it was let go.
    EXPECT_FALSE(rig.camera->isPoweredUp());
}

TEST(ViewerCapture, FramesReachTheVideoView)
{
    CaptureRig rig;
    rig.backend.videoList = {quadrelCamera()};
    rig.controller.initializeVideoCapture();
    ASSERT_TRUE(rig.backend.frameHandler);

    auto bytes = std::make_shared<std::vector<std::uint8_t>>(64 * 48 * 2, 128);
    video::VideoFrame frame;
    frame.format = video::PixelFormat::UYVY;
    frame.width = 64;
    frame.height = 48;
    frame.planes[0] = bytes->data();
    frame.strides[0] = 128;
    frame.storage = bytes;
    rig.backend.frameHandler(frame);
    QCoreApplication::processEvents();
    EXPECT_EQ(rig.controller.outlets().previewView->frameSize(), QSize(64, 48));
}

TEST(ViewerCapture, NoCameraLeavesTheMenuWithNoneAndRecordingDisabled)
{
    CaptureRig rig;
    rig.controller.initializeVideoCapture();
    ASSERT_EQ(rig.cameraMenu()->actions().size(), 1);
    EXPECT_EQ(ui::tagOf(rig.cameraMenu()->actions().first()), -1);
    EXPECT_FALSE(ui::findMenuItem(rig.controller.mainMenu()->menuBar(), 100, 110)->isEnabled());
    EXPECT_TRUE(rig.rescans.empty());
}

namespace {

video::VideoFrame greyFrame(int width, int height, std::uint8_t luma)
{
    auto bytes = std::make_shared<std::vector<std::uint8_t>>(size_t(width) * height * 2);
    for (size_t i = 0; i < bytes->size(); i += 2) {
        (*bytes)[i] = 128;      // chroma
        (*bytes)[i + 1] = luma; // luma
    }
    video::VideoFrame frame;
    frame.format = video::PixelFormat::UYVY;
    frame.width = width;
    frame.height = height;
    frame.planes[0] = bytes->data();
    frame.strides[0] = width * 2;
    frame.storage = bytes;
    return frame;
}

} // namespace

TEST(ViewerStill, FreezeShowsTheNextFrameAndSavingItWritesAPngThenThaws)
{
    CaptureRig rig;
    rig.backend.videoList = {quadrelCamera()};
    rig.controller.initializeVideoCapture();
    ASSERT_TRUE(rig.backend.frameHandler);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("page.png"));
    int dialogs = 0;
    rig.controller.stillSavePanel().setDialogPresenter([&](QFileDialog *dialog, bool) {
        ++dialogs;
        dialog->selectFile(path);
        static_cast<QDialog *>(dialog)->accept();
    });

    // Saving while live freezes, takes the next frame, then asks for a file.
    rig.controller.saveFreezeFrame();
    rig.controller.saveFreezeFrame(); // pressed again while pending
    EXPECT_TRUE(rig.controller.waitingToFreeze());
    rig.backend.frameHandler(greyFrame(64, 48, 235));
    ASSERT_TRUE(rig.waitFor([&] { return dialogs > 0 && !rig.controller.isFrozen(); }));
    EXPECT_EQ(dialogs, 1);
    EXPECT_TRUE(QFileInfo::exists(path));
    const QImage saved(path);
    ASSERT_FALSE(saved.isNull());
    // Orientation 2 (the Quadrel's document default) turns the picture, not
    // its size, and the saved picture is the camera's white page.
    EXPECT_EQ(saved.size(), QSize(64, 48));
    EXPECT_EQ(QColor(saved.pixel(10, 10)), QColor(255, 255, 255));
    EXPECT_FALSE(rig.controller.outlets().previewView->isShowingStill());
}

TEST(ViewerStill, UnfreezingBeforeTheFrameCallsTheSaveOff)
{
    CaptureRig rig;
    rig.backend.videoList = {quadrelCamera()};
    rig.controller.initializeVideoCapture();
    int dialogs = 0;
    rig.controller.stillSavePanel().setDialogPresenter([&](QFileDialog *dialog, bool) {
        ++dialogs;
        static_cast<QDialog *>(dialog)->reject();
    });
    rig.controller.saveFreezeFrame();
    rig.controller.unfreezeFrame();
    EXPECT_FALSE(rig.controller.waitingToSave());
    // A later freeze of the user's own opens no dialog.
    rig.controller.freezeFrame();
    rig.backend.frameHandler(greyFrame(64, 48, 100));
    rig.waitFor([&] { return rig.controller.outlets().previewView->isShowingStill(); }, 1000);
    EXPECT_TRUE(rig.controller.outlets().previewView->isShowingStill());
    EXPECT_EQ(dialogs, 0);
}
