#include "StillTestSupport.h"

#include "common/SystemLog.h"
#include "video/FrameConversion.h"

#include <gtest/gtest.h>

using namespace kelvo::video;
using kelvo::ScopedLogCapture;
using kelvo::video::test::FakeController;
using kelvo::video::test::runPostedWork;
using kelvo::video::test::TestFrame;

namespace {

// A packed frame whose top-left pair differs from the rest, so a turn shows.
TestFrame markedFrame(int width, int height)
{
    TestFrame t = TestFrame::uyvy(width, height);
    for (int y = 0; y < height; ++y) {
        t.fillPackedRow(y, 128, 100, 128, 100);
    }
    t.packedRow(0)[1] = 235;
    return t;
}

TEST(FreezeFrameProcessor, TakingAPictureTurnsItToTheCurrentOrientation)
{
    TestFrame t = markedFrame(1280, 720);
    const Rgb8 marked = convertYCbCrPixel(235, 128, 128, -0.65);
    struct Case {
        int orientation;
        int width, height;
        int markX, markY; // where the frame's top-left pixel ends up
        bool logsRotation;
    };
    const Case cases[] = {
        {1, 1280, 720, 0, 0, false},
        {3, 720, 1280, 0, 1279, true},
        {2, 1280, 720, 1279, 719, true},
        {4, 720, 1280, 719, 0, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.orientation);
        FakeController controller;
        controller.orientation = c.orientation;
        ScopedLogCapture log;
        const FreezeFrameImage picture = controller.processor.freezeFrameWithBuffer(t.frame, false);
        ASSERT_FALSE(picture.isNull());
        EXPECT_EQ(picture.width, c.width);
        EXPECT_EQ(picture.height, c.height);
        EXPECT_EQ(picture.pixel(c.markX, c.markY), marked);
        EXPECT_EQ(log.count("NEEDS ROTATION\n"), c.logsRotation ? 1 : 0);
        EXPECT_EQ(log.lines().size(), c.logsRotation ? 1u : 0u);
    }
}

TEST(FreezeFrameProcessor, PictureTakenInOrientationThreeTurnsHalfWayToFour)
{
    FakeController controller;
    controller.orientation = 3;
    TestFrame t = markedFrame(16, 8);
    const FreezeFrameImage taken = controller.processor.freezeFrameWithBuffer(t.frame, false);
    controller.orientation = 4;
    ScopedLogCapture log;
    const FreezeFrameImage turned = controller.processor.rotatedImageWithOriginalImage(taken, 3);
    ASSERT_EQ(turned.width, taken.width);
    ASSERT_EQ(turned.height, taken.height);
    for (int y = 0; y < taken.height; ++y) {
        for (int x = 0; x < taken.width; ++x) {
            ASSERT_EQ(turned.pixel(x, y), taken.pixel(taken.width - 1 - x, taken.height - 1 - y));
        }
    }
    EXPECT_EQ(log.lines(), std::vector<std::string>{"NEEDS ROTATION\n"});

    // No turn keeps the very same pixels; nothing stays nothing.
    EXPECT_TRUE(controller.processor.rotatedImageWithOriginalImage(turned, 4).sharesPixelsWith(turned));
    EXPECT_TRUE(controller.processor.rotatedImageWithOriginalImage(FreezeFrameImage{}, 1).isNull());
}

TEST(FreezeFrameProcessor, FreezeTakesTheNextFrameThatConvertsAndShowsItAfterTheHandler)
{
    FakeController controller;
    controller.orientation = 2;
    controller.freezeFrame();

    // A frame without a picture leaves the freeze pending.
    TestFrame refused = markedFrame(8, 4);
    refused.frame.format = PixelFormat::YUY2;
    controller.processor.handleVideoFrame(refused.frame);
    runPostedWork();
    EXPECT_TRUE(controller.waitingToFreeze());
    EXPECT_TRUE(controller.shown.empty());

    ScopedLogCapture log;
    TestFrame t = markedFrame(8, 4);
    controller.processor.handleVideoFrame(t.frame);
    EXPECT_FALSE(controller.waitingToFreeze());
    EXPECT_TRUE(controller.isFrozen());
    EXPECT_EQ(controller.orientationWhenFrozen, 2);
    EXPECT_EQ(log.count("Got still image.\n"), 1);
    EXPECT_TRUE(controller.shown.empty()) << "shown only once the handler has returned";

    runPostedWork();
    ASSERT_EQ(controller.shown.size(), 1u);
    EXPECT_TRUE(controller.shown[0].sharesPixelsWith(controller.processor.freezeFramePicture()));
    EXPECT_EQ(controller.processor.freezeFramePictureOrientation(), 2);
    EXPECT_EQ(controller.shown[0].pixel(7, 3), convertYCbCrPixel(235, 128, 128, -0.65));

    // Frozen: later frames change nothing.
    controller.processor.handleVideoFrame(t.frame);
    runPostedWork();
    EXPECT_EQ(controller.shown.size(), 1u);
    EXPECT_EQ(log.count("Got still image.\n"), 1);
}

TEST(FreezeFrameProcessor, UnfreezingBeforeThePictureIsShownKeepsTheLivePicture)
{
    FakeController controller;
    controller.waitingToSaveFlag = true;
    controller.freezeFrame();
    TestFrame t = markedFrame(8, 4);
    controller.processor.handleVideoFrame(t.frame);
    controller.unfreezeFrame();
    runPostedWork();
    EXPECT_TRUE(controller.shown.empty());
    EXPECT_FALSE(controller.isFrozen());
}

TEST(FreezeFrameProcessor, DeinterlacingDrawsEveryLiveFrameUntilFrozen)
{
    FakeController controller;
    controller.deinterlacing = true;
    TestFrame t = TestFrame::uyvy(4, 4);
    t.fillPackedRow(0, 128, 40, 128, 40);
    t.fillPackedRow(1, 128, 230, 128, 230);
    t.fillPackedRow(2, 128, 80, 128, 80);
    t.fillPackedRow(3, 128, 230, 128, 230);

    for (int i = 0; i < 3; ++i) {
        controller.processor.handleVideoFrame(t.frame);
    }
    runPostedWork();
    ASSERT_EQ(controller.shown.size(), 3u);
    EXPECT_EQ(controller.shown.back().pixel(0, 1), convertYCbCrPixel(60, 128, 128, -0.65));
    EXPECT_EQ(controller.shown.back().pixel(0, 3), convertYCbCrPixel(80, 128, 128, -0.65));

    // The freeze's own picture is deinterlaced too; after it, nothing more.
    controller.freezeFrame();
    controller.processor.handleVideoFrame(t.frame);
    controller.processor.handleVideoFrame(t.frame);
    runPostedWork();
    ASSERT_EQ(controller.shown.size(), 4u);
    EXPECT_EQ(controller.shown.back().pixel(0, 1), convertYCbCrPixel(60, 128, 128, -0.65));

    // A live frame converted before deinterlacing was switched off is not
    // drawn over the live picture.
    controller.unfreezeFrame();
    controller.processor.handleVideoFrame(t.frame);
    controller.deinterlacing = false;
    runPostedWork();
    EXPECT_EQ(controller.shown.size(), 4u);
}

TEST(FreezeFrameProcessor, OrientationChangeTurnsTheFrozenPictureAndShowsItAgain)
{
    FakeController controller;
    controller.freezeFrame();
    TestFrame t = markedFrame(8, 4);
    controller.processor.handleVideoFrame(t.frame);
    runPostedWork();
    const FreezeFrameImage before = controller.processor.freezeFramePicture();

    controller.orientation = 3;
    controller.processor.rotateFrozenPicture(1);
    ASSERT_EQ(controller.shown.size(), 2u);
    EXPECT_EQ(controller.shown.back().width, 4);
    EXPECT_EQ(controller.shown.back().height, 8);
    EXPECT_EQ(controller.shown.back().pixel(0, 7), before.pixel(0, 0));
    EXPECT_EQ(controller.processor.freezeFramePictureOrientation(), 3);

    // Live again: the kept picture turns, but is not put over the preview.
    controller.unfreezeFrame();
    controller.orientation = 1;
    controller.processor.rotateFrozenPicture(3);
    EXPECT_EQ(controller.shown.size(), 2u);
    EXPECT_EQ(controller.processor.freezeFramePicture().width, 8);

    controller.processor.clearFreezeFramePicture();
    EXPECT_TRUE(controller.processor.freezeFramePicture().isNull());
    controller.processor.rotateFrozenPicture(1);
    EXPECT_TRUE(controller.processor.freezeFramePicture().isNull());
}

} // namespace
