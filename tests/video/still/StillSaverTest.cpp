#include "StillPngReader.h"
#include "StillTestSupport.h"

#include "common/SystemLog.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace kelvo::video;
using kelvo::video::test::AnsweredSaveUi;
using kelvo::video::test::exifOrientation;
using kelvo::video::test::FakeController;
using kelvo::video::test::readPng;
using kelvo::video::test::runPostedWork;
using kelvo::video::test::TestFrame;

namespace {

TestFrame greyFrame(std::uint8_t luma)
{
    TestFrame t = TestFrame::uyvy(6, 4);
    for (int y = 0; y < 4; ++y) {
        t.fillPackedRow(y, 128, luma, 128, luma);
    }
    t.packedRow(0)[1] = 235; // the top-left pixel is white
    return t;
}

struct SaveFixture : testing::Test {
    QTemporaryDir dir;
    AnsweredSaveUi ui;
    FakeController controller{&ui};
    TestFrame frame = greyFrame(100);

    QString target() const { return dir.filePath(QStringLiteral("Untitled.png")); }
    void deliverFrame()
    {
        controller.processor.handleVideoFrame(frame.frame);
        runPostedWork();
    }
    void freezeNow()
    {
        controller.freezeFrame();
        deliverFrame();
        ASSERT_FALSE(controller.waitingToFreeze());
    }
};

TEST_F(SaveFixture, SaveWhileLiveFreezesOpensOnTheFrameAndReturnsToLive)
{
    for (int result : {1, 0}) {
        SCOPED_TRACE(result);
        const int openedBefore = ui.opened;
        controller.saveFreezeFrame();
        EXPECT_TRUE(controller.isFrozen());
        EXPECT_TRUE(controller.waitingToFreeze());
        EXPECT_EQ(ui.opened, openedBefore) << "the dialog waits for the picture";

        controller.processor.handleVideoFrame(frame.frame);
        EXPECT_EQ(ui.opened, openedBefore) << "opened after the frame handler returns";
        runPostedWork();
        ASSERT_EQ(ui.opened, openedBefore + 1);
        ASSERT_TRUE(ui.isOpen());

        QFile::remove(target());
        ui.answer(result, result == 1 ? target() : QString());
        EXPECT_EQ(QFile::exists(target()), result == 1);
        EXPECT_FALSE(controller.isFrozen());
        EXPECT_FALSE(controller.waitingToSave());
        EXPECT_FALSE(controller.unfreezeWhenSaved());
    }
    EXPECT_TRUE(ui.failures.empty());
}

TEST_F(SaveFixture, SaveWhileFrozenOpensAtOnceAndStaysFrozen)
{
    controller.fullScreen = true;
    freezeNow();
    controller.saveFreezeFrame();
    ASSERT_EQ(ui.opened, 1);
    EXPECT_TRUE(ui.openedFullScreen);
    ui.answer(1, target());
    EXPECT_TRUE(controller.isFrozen());
    EXPECT_FALSE(controller.waitingToSave());
    EXPECT_TRUE(QFile::exists(target()));
}

TEST_F(SaveFixture, SavePressedTwiceOpensOneDialog)
{
    // Twice while the freeze is pending.
    controller.saveFreezeFrame();
    controller.saveFreezeFrame();
    deliverFrame();
    deliverFrame();
    EXPECT_EQ(ui.opened, 1);
    ui.answer(0, QString());
    EXPECT_FALSE(controller.isFrozen());

    // Twice while frozen, the first dialog still open.
    freezeNow();
    controller.saveFreezeFrame();
    controller.saveFreezeFrame();
    EXPECT_EQ(ui.opened, 2);
    ui.answer(0, QString());
    EXPECT_TRUE(controller.isFrozen());
}

TEST_F(SaveFixture, SavedFileIsTheTurnedCameraPictureWithItsOrientationEntry)
{
    controller.orientation = 3;
    freezeNow();
    controller.saveFreezeFrame();
    ui.answer(1, target());

    const auto png = readPng(target());
    ASSERT_TRUE(png.ok);
    const FreezeFrameImage &shown = controller.shown.back();
    EXPECT_EQ(png.width, 4);
    EXPECT_EQ(png.height, 6);
    EXPECT_EQ(png.rgb, *shown.pixels);
    // The frame's top-left pixel, turned a quarter to the left, lies at the bottom left.
    const std::size_t bottomLeft = std::size_t(5) * 4 * 3;
    EXPECT_EQ(png.rgb[bottomLeft], 255);
    EXPECT_EQ(exifOrientation(png.exif), 4);
}

TEST_F(SaveFixture, PictureIsTheOneShownWhenTheDialogOpened)
{
    controller.deinterlacing = true;
    freezeNow();
    controller.saveFreezeFrame();
    const FreezeFrameImage asked = controller.processor.freezeFramePicture();

    // The camera's unfreeze button, then more live frames, while the dialog is open.
    controller.unfreezeFrame();
    frame = greyFrame(200);
    deliverFrame();
    ASSERT_FALSE(controller.processor.freezeFramePicture().sharesPixelsWith(asked));

    ui.answer(1, target());
    EXPECT_EQ(readPng(target()).rgb, *asked.pixels);
    EXPECT_FALSE(controller.isFrozen()) << "a save from the frozen state does not freeze again";
}

TEST_F(SaveFixture, UnfreezingDuringASaveForSavingDoesNotFreezeAgain)
{
    controller.saveFreezeFrame();
    deliverFrame();
    controller.unfreezeFrame();
    ui.answer(0, QString());
    EXPECT_FALSE(controller.isFrozen());
    EXPECT_FALSE(controller.unfreezeWhenSaved());

    // A later freeze of the user's own, saved while pending, stays frozen.
    controller.freezeFrame();
    controller.saveFreezeFrame();
    deliverFrame();
    ASSERT_TRUE(ui.isOpen());
    ui.answer(0, QString());
    EXPECT_TRUE(controller.isFrozen());
}

TEST_F(SaveFixture, FailedWriteIsReportedAndStillEndsTheSave)
{
    const QString blocker = dir.filePath(QStringLiteral("plain-file"));
    {
        QFile f(blocker);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    const QString path = blocker + QStringLiteral("/Untitled.png");
    controller.saveFreezeFrame();
    deliverFrame();
    kelvo::ScopedLogCapture log;
    ui.answer(1, path);

    ASSERT_EQ(ui.failures.size(), 1u);
    EXPECT_EQ(ui.failures[0].path, path);
    EXPECT_FALSE(ui.failures[0].reason.isEmpty());
    ASSERT_EQ(log.lines().size(), 1u);
    EXPECT_EQ(log.lines()[0].rfind("Could not save the still image: ", 0), 0u);
    EXPECT_FALSE(controller.waitingToSave());
    EXPECT_FALSE(controller.isFrozen());
}

TEST_F(SaveFixture, SaveWithoutAPictureIsReportedNotWritten)
{
    // Frozen, but the picture was dropped (capture dismantled).
    freezeNow();
    controller.processor.clearFreezeFramePicture();
    controller.saveFreezeFrame();
    ui.answer(1, target());
    EXPECT_FALSE(QFile::exists(target()));
    EXPECT_EQ(ui.failures.size(), 1u);
}

} // namespace
