#include "viewer/VideoWindowPlacement.h"

#include "common/SystemLog.h"
#include "ui/CustomSlider.h"
#include "ui/DraggableImageView.h"
#include "ui/DraggableLevelIndicator.h"
#include "ui/DraggableView.h"
#include "ui/DraggableWindow.h"
#include "ui/MainMenu.h"
#include "ui/MenuTags.h"
#include "ui/UnscrollableScrollView.h"
#include "ui/VideoView.h"
#include "viewer/window/FakeVideoWindowHost.h"

#include <QAction>
#include <QApplication>
#include <QGuiApplication>
#include <QMenuBar>
#include <QMouseEvent>
#include <QScreen>
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>

namespace kelvo::viewer {
namespace {

using geometry::Rect;

// The real interface on the offscreen platform, with animations that finish
// at once and one-shot timers that wait for the test to run them.
struct PlacementRig {
    std::vector<std::unique_ptr<QWidget>> topLevel;
    ui::MainWindowOutlets o = ui::loadMainWindowInterface(topLevel);
    testing::FakeVideoWindowHost host;
    std::unique_ptr<VideoWindowPlacement> placement;
    std::vector<std::pair<int, std::function<void()>>> scheduled;
    std::vector<int> animationDurations;

    explicit PlacementRig(QRect geometry = QRect(100, 100, 640, 400))
    {
        o.videoWindow->setGeometry(geometry);
        placement = std::make_unique<VideoWindowPlacement>(o, host);
        VideoWindowPlacement::Timers timers;
        timers.singleShot = [this](int delayMs, std::function<void()> task) {
            scheduled.emplace_back(delayMs, std::move(task));
        };
        timers.animate = [this](const Rect &, const Rect &to, int durationMs, std::function<void(const Rect &)> step,
                                std::function<void()> done) {
            animationDurations.push_back(durationMs);
            step(to);
            done();
        };
        placement->setTimersForTesting(timers);
        o.videoWindow->show();
        QApplication::processEvents();
    }
    ~PlacementRig() { placement.reset(); }

    ui::DraggableWindow &window() { return *o.videoWindow; }
    QRect available() const { return QGuiApplication::primaryScreen()->availableGeometry(); }
    QRect screen() const { return QGuiApplication::primaryScreen()->geometry(); }
    int pictureHeight() const { return o.videoContainer->height(); }
};

// ---- Fitting -------------------------------------------------------------------------

TEST(VideoWindowPlacement, FitsThePictureUnderTheMenuBarKeepingWidthAndTopLeft)
{
    PlacementRig rig(QRect(100, 100, 640, 300));
    rig.placement->setWindowAspectRatio();
    EXPECT_EQ(rig.window().geometry().topLeft(), QPoint(100, 100));
    EXPECT_EQ(rig.window().width(), 640);
    // The picture area itself has the camera's 16:9 shape.
    EXPECT_EQ(rig.o.videoContainer->width(), 640);
    EXPECT_EQ(rig.pictureHeight(), 360);
    EXPECT_EQ(rig.window().minimumSize(), QSize(534, 300));
}

TEST(VideoWindowPlacement, AWindowNarrowerThanTheMinimumIsWidenedAndKeepsTheShape)
{
    PlacementRig rig(QRect(100, 100, 400, 300));
    rig.placement->setWindowAspectRatio();
    EXPECT_EQ(rig.window().width(), 534);
    EXPECT_NEAR(rig.pictureHeight(), 534.0 * 720 / 1280, 1);
    EXPECT_EQ(rig.window().geometry().topLeft(), QPoint(100, 100));
}

TEST(VideoWindowPlacement, APictureWithoutSizeLeavesTheWindowAndAsksForTheDevicesASecondLater)
{
    for (bool cameraSelected : {true, false}) {
        PlacementRig rig;
        rig.host.picture = QSizeF(1280, 0);
        rig.host.cameraSelected = cameraSelected;
        const QRect before = rig.window().geometry();
        ScopedLogCapture log;
        rig.placement->setWindowAspectRatio();
        EXPECT_EQ(rig.window().geometry(), before);
        EXPECT_EQ(log.count("No image height or width.\n"), cameraSelected ? 1 : 0);
        ASSERT_EQ(rig.scheduled.size(), 1u);
        EXPECT_EQ(rig.scheduled[0].first, 1000);
        EXPECT_EQ(rig.host.count("refreshDevices"), 0);
        rig.scheduled[0].second();
        EXPECT_EQ(rig.host.count("refreshDevices"), 1);
    }
}

TEST(VideoWindowPlacement, FittingKeepsTheWindowDockedToTheBottom)
{
    PlacementRig rig(QRect(100, 100, 640, 300));
    rig.placement->moveWindowToBottom();
    rig.placement->setWindowAspectRatio();
    EXPECT_EQ(rig.window().frameGeometry().bottom(), rig.available().bottom());
    EXPECT_EQ(rig.pictureHeight(), 360);
    EXPECT_TRUE(rig.placement->dockingFlags().bottom);
}

TEST(VideoWindowPlacement, QuarterTurnsExchangeThePictureAreaAndFourGiveTheFrameBack)
{
    // The window at its minimum width, where the menu bar is tallest.
    PlacementRig rig(QRect(100, 50, 534, 319));
    rig.placement->setWindowAspectRatio();
    const QRect start = rig.window().geometry();
    const QSize picture = rig.o.videoContainer->size();
    // What a turn does in the viewer: the picture turns, the window turns
    // with it, and the window is fitted to the turned picture.
    auto turn = [&rig] {
        rig.host.picture = rig.host.picture.transposed();
        rig.placement->rotateWindow();
        rig.placement->setWindowAspectRatio();
        QApplication::processEvents();
    };

    turn();
    EXPECT_EQ(rig.o.videoContainer->size(), picture.transposed());
    EXPECT_EQ(rig.window().geometry().topLeft(), start.topLeft());
    turn();
    EXPECT_EQ(rig.window().geometry(), start);
    for (int i = 0; i < 4; ++i)
        turn();
    EXPECT_EQ(rig.window().geometry(), start);

    // Resized by the user, the window turns from its new size.
    turn();
    rig.window().setGeometry(QRect(start.topLeft(), QSize(400, 800)));
    rig.placement->windowDidEndLiveResize();
    const QSize resizedPicture = rig.o.videoContainer->size();
    ASSERT_NE(resizedPicture, picture.transposed());
    turn();
    EXPECT_EQ(rig.o.videoContainer->size(), resizedPicture.transposed());

    const QRect windowed = rig.window().geometry();
    rig.placement->enterExitFullScreen();
    const QRect inFullScreen = rig.window().geometry();
    rig.host.picture = rig.host.picture.transposed();
    rig.placement->rotateWindow();
    EXPECT_EQ(rig.window().geometry(), inFullScreen);

    // A turn made in full screen turns the window it comes back to, and
    // turning back in the window gives the size it had.
    rig.placement->enterExitFullScreen();
    QApplication::processEvents();
    ASSERT_FALSE(rig.placement->isFullScreen());
    EXPECT_EQ(rig.o.videoContainer->size(), resizedPicture);
    turn();
    EXPECT_EQ(rig.window().geometry(), windowed);
}

TEST(VideoWindowPlacement, AFrameIsKeptWhereTheUserCanReachIt)
{
    PlacementRig rig;
    const QRect available = rig.available();
    const Rect visible = VideoWindowPlacement::fromQtScreen(available);
    // Above the top of the screen: moved down until the title bar shows.
    rig.placement->setFrame({100, visible.maxY() + 500, 640, 382});
    EXPECT_EQ(rig.window().frameGeometry().top(), available.top());
    EXPECT_EQ(rig.window().geometry().size(), QSize(640, 382));
    // Larger than the screen: shrunk to it, the title bar at its top.
    rig.placement->setFrame({0, 0, 100000, 100000});
    const QRect shrunk = rig.window().frameGeometry();
    EXPECT_EQ(shrunk.top(), available.top());
    EXPECT_EQ(shrunk.height(), available.height());
    EXPECT_LE(shrunk.width(), available.width());
}

TEST(VideoWindowPlacement, ANewCameraPictureSizeRefitsTheWindow)
{
    PlacementRig rig(QRect(100, 100, 640, 300));
    rig.host.picture = QSizeF(640, 480);
    emit rig.o.previewView->frameSizeChanged(QSize(640, 480));
    EXPECT_EQ(rig.pictureHeight(), 480);
    EXPECT_EQ(rig.window().minimumSize(), QSize(400, 300));
}

TEST(VideoWindowPlacement, TurningToPortraitThenFittingGivesAPortraitWindow)
{
    PlacementRig rig(QRect(100, 100, 640, 300));
    rig.placement->setWindowAspectRatio();
    rig.placement->rotateWindow();
    EXPECT_LT(rig.window().width(), rig.window().height());
    rig.host.picture = QSizeF(720, 1280);
    rig.placement->setWindowAspectRatio();
    EXPECT_EQ(rig.window().geometry().topLeft(), QPoint(100, 100));
    EXPECT_NEAR(double(rig.o.videoContainer->width()) / rig.pictureHeight(), 720.0 / 1280, 0.01);
    EXPECT_EQ(rig.window().minimumSize(), QSize(300, 534));
}

TEST(VideoWindowPlacement, AUserResizeThatComesToRestGetsThePicturesShapeBack)
{
    PlacementRig rig(QRect(100, 100, 640, 300));
    rig.placement->setWindowAspectRatio();
    rig.host.calls.clear();
    // Dragged wider: the height follows the new width.
    rig.window().setGeometry(50, 100, 720, rig.window().height());
    rig.placement->windowDidEndLiveResize();
    EXPECT_EQ(rig.window().width(), 720);
    EXPECT_EQ(rig.pictureHeight(), 405);
    EXPECT_EQ(rig.host.calls, (std::vector<std::string>{"setImageFilters", "savePreferences"}));

    // A maximised window keeps the window manager's size.
    rig.window().zoom();
    QApplication::processEvents();
    const QRect maximized = rig.window().geometry();
    ASSERT_TRUE(rig.window().isZoomed());
    // Not 16:9, so a fit would show.
    ASSERT_GT(std::abs(rig.pictureHeight() - rig.o.videoContainer->width() * 9 / 16), 2);
    rig.placement->windowDidEndLiveResize();
    rig.placement->setWindowAspectRatio();
    EXPECT_EQ(rig.window().geometry(), maximized);
}

// ---- Docking --------------------------------------------------------------------------------

TEST(VideoWindowPlacement, DocksAgainstEachEdgeOfTheVisibleAreaAndSaves)
{
    struct {
        void (VideoWindowPlacement::*move)();
        std::function<bool(const QRect &, const QRect &)> atEdge;
        geometry::DockingInfo flags;
    } cases[] = {
        {&VideoWindowPlacement::moveWindowToTop, [](const QRect &f, const QRect &v) { return f.top() == v.top(); }, 1},
        {&VideoWindowPlacement::moveWindowToBottom,
         [](const QRect &f, const QRect &v) { return f.bottom() == v.bottom(); }, 4},
        {&VideoWindowPlacement::moveWindowToLeft, [](const QRect &f, const QRect &v) { return f.left() == v.left(); },
         16},
        {&VideoWindowPlacement::moveWindowToRight,
         [](const QRect &f, const QRect &v) { return f.right() == v.right(); }, 64},
    };
    for (const auto &c : cases) {
        PlacementRig rig(QRect(100, 100, 300, 200));
        const QSize outerSize = rig.window().frameGeometry().size();
        (rig.placement.get()->*c.move)();
        const QRect frame = rig.window().frameGeometry();
        EXPECT_TRUE(c.atEdge(frame, rig.available())) << int(c.flags);
        EXPECT_EQ(frame.size(), outerSize);
        EXPECT_EQ(rig.placement->isDocked(), c.flags);
        EXPECT_EQ(rig.host.count("savePreferences"), 1);
    }
}

TEST(VideoWindowPlacement, StoredDockingIsReadThroughItsMasks)
{
    struct {
        geometry::DockingInfo stored;
        std::function<bool(const QRect &, const QRect &)> atEdge;
    } cases[] = {
        // The window starts with its outer frame at (100, 100).
        {2, [](const QRect &f, const QRect &v) { return f.top() == v.top() && f.left() == 100; }},
        {8, [](const QRect &f, const QRect &v) { return f.bottom() == v.bottom() && f.left() == 100; }},
        {32, [](const QRect &f, const QRect &v) { return f.left() == v.left() && f.top() == 100; }},
        {128, [](const QRect &f, const QRect &v) { return f.right() == v.right() && f.top() == 100; }},
        {17, [](const QRect &f, const QRect &v) { return f.topLeft() == v.topLeft(); }},
    };
    for (const auto &c : cases) {
        PlacementRig rig(QRect(100, 100, 300, 200));
        rig.window().move(100, 100);
        rig.placement->reDockWithDockInfo(c.stored);
        EXPECT_TRUE(c.atEdge(rig.window().frameGeometry(), rig.available())) << int(c.stored);
    }
}

TEST(VideoWindowPlacement, TopAndLeftDockedPackTo17)
{
    PlacementRig rig(QRect(100, 100, 300, 200));
    rig.placement->moveWindowToTop();
    rig.placement->moveWindowToLeft();
    EXPECT_EQ(rig.placement->isDocked(), 17);
    rig.placement->windowWillMove();
    EXPECT_EQ(rig.placement->isDocked(), 0);
    EXPECT_EQ(rig.host.count("savePreferences"), 3);
}

TEST(VideoWindowPlacement, DockingInFullScreenOnlyBeeps)
{
    PlacementRig rig;
    rig.placement->moveWindowToLeft();
    rig.placement->enterExitFullScreen();
    ASSERT_TRUE(rig.placement->isFullScreen());
    const QRect before = rig.window().geometry();
    rig.host.calls.clear();
    rig.placement->moveWindowToTop();
    rig.placement->moveWindowToRight();
    EXPECT_EQ(rig.host.calls, (std::vector<std::string>{"beep", "beep"}));
    EXPECT_EQ(rig.window().geometry(), before);
    EXPECT_EQ(rig.placement->isDocked(), 16);
}

// ---- Full screen -------------------------------------------------------------------------------

TEST(VideoWindowPlacement, FullScreenFillsTheScreenWithThePictureCutOnItsLongSide)
{
    PlacementRig rig;
    const Rect before = rig.placement->frame();
    rig.placement->enterExitFullScreen();
    QApplication::processEvents();

    EXPECT_TRUE(rig.placement->isFullScreen());
    EXPECT_FALSE(rig.placement->transitioningToFullScreen());
    EXPECT_FALSE(rig.window().isAnimating());
    EXPECT_EQ(rig.animationDurations, std::vector<int>{500});
    EXPECT_EQ(rig.placement->windowFrameBeforeEnteringFullScreenMode(), before);
    EXPECT_EQ(rig.window().geometry(), rig.screen());
    // 16:9 on the offscreen screen: the full height, wider than the screen,
    // centred so that both sides are cut alike.
    const QRect screen = rig.screen();
    const double width = screen.height() * 16.0 / 9;
    ASSERT_GT(width, screen.width());
    const QRect picture = rig.o.videoContainer->geometry();
    EXPECT_NEAR(picture.width(), width, 1);
    EXPECT_EQ(picture.height(), screen.height());
    EXPECT_NEAR(picture.left(), (screen.width() - width) / 2, 1);
    // Any frame asked for comes back as the full-screen rectangle.
    EXPECT_EQ(rig.window().constrainFrameRect(QRect(5, 5, 50, 50)), picture.translated(screen.topLeft()));
    EXPECT_TRUE(rig.placement->fullScreenCursorTimerActive());
    EXPECT_EQ(rig.host.count("fullScreenDidChange(true)"), 1);

    rig.placement->enterExitFullScreen();
    QApplication::processEvents();
    EXPECT_FALSE(rig.placement->isFullScreen());
    EXPECT_FALSE(rig.placement->transitioningFromFullScreen());
    EXPECT_EQ(rig.animationDurations, (std::vector<int>{500, 1000}));
    EXPECT_EQ(rig.placement->frame(), before);
    EXPECT_EQ(rig.window().constrainFrameRect(QRect(5, 5, 50, 50)), QRect(5, 5, 50, 50));
    EXPECT_FALSE(rig.placement->fullScreenCursorTimerActive());
    EXPECT_EQ(rig.o.videoContainer->width(), rig.window().width());
    EXPECT_EQ(rig.host.count("hideOnScreenDisplay"), 1);
    EXPECT_EQ(rig.host.count("fullScreenDidChange(false)"), 1);
}

TEST(VideoWindowPlacement, LeavingFullScreenRestoresTheDockingInForceBefore)
{
    PlacementRig rig(QRect(100, 100, 300, 200));
    rig.placement->moveWindowToTop();
    rig.placement->moveWindowToLeft();
    // Moved by the program (not by the user) the flags stay; leaving full
    // screen docks the window again.
    rig.window().move(150, 120);
    rig.placement->enterExitFullScreen();
    rig.placement->enterExitFullScreen();
    EXPECT_EQ(rig.placement->isDocked(), 17);
    EXPECT_EQ(rig.window().frameGeometry().topLeft(), rig.available().topLeft());
    EXPECT_EQ(rig.window().size(), QSize(300, 200));
}

TEST(VideoWindowPlacement, OpensTheOnScreenDisplayOnceFullScreenIsReachedWhenAsked)
{
    PlacementRig rig;
    rig.placement->setShowOSDAfterEnteringFullScreen(true);
    rig.placement->enterExitFullScreen();
    EXPECT_EQ(rig.host.count("showHideOnScreenDisplay"), 1);
    EXPECT_FALSE(rig.placement->showOSDAfterEnteringFullScreen());
    rig.placement->enterExitFullScreen();
    rig.placement->enterExitFullScreen();
    EXPECT_EQ(rig.host.count("showHideOnScreenDisplay"), 1);
}

// ---- Idle pointer ----------------------------------------------------------------------------------

TEST(VideoWindowPlacement, ThePointerHidesOnTheSeventhTickAndAMoveBringsItBack)
{
    PlacementRig rig;
    rig.placement->enterExitFullScreen();
    ASSERT_TRUE(rig.placement->fullScreenCursorTimerActive());
    for (int tick = 1; tick <= 6; ++tick) {
        rig.placement->mouseIdleTimerHandler();
        EXPECT_FALSE(rig.placement->pointerHidden()) << tick;
        EXPECT_EQ(rig.placement->halfSecondsSinceLastMove(), tick);
    }
    rig.placement->mouseIdleTimerHandler();
    EXPECT_TRUE(rig.placement->pointerHidden());
    ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::BlankCursor);
    EXPECT_FALSE(rig.placement->fullScreenCursorTimerActive());
    EXPECT_EQ(rig.placement->halfSecondsSinceLastMove(), 0);

    // A real move over the picture, as the window system delivers it.
    QMouseEvent move(QEvent::MouseMove, QPointF(10, 10), QPointF(10, 10), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(rig.o.videoContainer, &move);
    EXPECT_FALSE(rig.placement->pointerHidden());
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_TRUE(rig.placement->fullScreenCursorTimerActive());

    // A move restarts the count: six more ticks leave the pointer shown.
    for (int tick = 1; tick <= 5; ++tick)
        rig.placement->mouseIdleTimerHandler();
    rig.placement->mouseMoved();
    for (int tick = 1; tick <= 6; ++tick)
        rig.placement->mouseIdleTimerHandler();
    EXPECT_FALSE(rig.placement->pointerHidden());

    rig.placement->mouseIdleTimerHandler();
    ASSERT_TRUE(rig.placement->pointerHidden());
    // Leaving full screen shows it again and stops counting.
    rig.placement->enterExitFullScreen();
    EXPECT_FALSE(rig.placement->pointerHidden());
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    rig.placement->mouseMoved();
    EXPECT_FALSE(rig.placement->fullScreenCursorTimerActive());
}

// ---- Preparation, layout and closing ---------------------------------------------------------------------

TEST(VideoWindowPlacement, PreparingTheWindowStacksTheOverlaysAboveThePicture)
{
    PlacementRig rig;
    rig.placement->prepareWindow();
    ASSERT_NE(rig.placement->aboutBoxBlurView(), nullptr);
    const QObjectList children = rig.o.videoContainer->children();
    const std::vector<QObject *> bottomToTop = {rig.o.previewView,
                                                rig.placement->aboutBoxBlurView(),
                                                rig.o.OSDAboutBoxView,
                                                rig.o.lineOverlayView,
                                                rig.o.batteryLevelIndicatorView,
                                                rig.o.recordOverlayView,
                                                rig.o.audioLevelIndicator,
                                                rig.o.audioGainControl,
                                                rig.o.OSDScrollView};
    for (size_t i = 1; i < bottomToTop.size(); ++i)
        EXPECT_LT(children.indexOf(bottomToTop[i - 1]), children.indexOf(bottomToTop[i]))
            << bottomToTop[i]->objectName().toStdString();
}

TEST(VideoWindowPlacement, OverlaysFollowTheWindowSize)
{
    PlacementRig rig(QRect(100, 100, 624, 500));
    rig.placement->prepareWindow();
    auto *container = rig.o.videoContainer;
    const QRect record = rig.o.recordOverlayView->geometry();
    const QRect battery = rig.o.batteryLevelIndicatorView->geometry();
    const QRect level = rig.o.audioLevelIndicator->geometry();
    const int levelFromBottom = container->height() - level.bottom();
    const int batteryFromRight = container->width() - battery.right();

    rig.o.OSDScrollView->show();
    rig.o.OSDAboutBoxView->show();
    // Within the screen, so that nothing overhangs: scale 780 / 624 = 1.25.
    ASSERT_GE(rig.screen().width(), 780);
    rig.window().resize(780, 700);
    QApplication::processEvents();

    // The on-screen display is 50 * 1.25 in from the left and bottom, 150 *
    // 1.25 wide, and 100 * 1.25 shorter than the window.
    const QRect osd = rig.o.OSDScrollView->geometry();
    EXPECT_NEAR(osd.left(), 62.5, 1);
    EXPECT_NEAR(osd.width(), 187.5, 1);
    EXPECT_NEAR(container->height() - (osd.top() + osd.height()), 62.5, 1);
    EXPECT_NEAR(osd.height(), rig.window().height() - 125, 1);
    // The about box view is as wide as the box (348 * 1.25) at the right.
    const QRect about = rig.o.OSDAboutBoxView->geometry();
    EXPECT_NEAR(about.width(), 435, 1);
    EXPECT_NEAR(container->width() - (about.left() + about.width()), 62.5, 1);
    EXPECT_TRUE(rig.placement->aboutBoxBlurView()->isVisible());
    // Controls keep their corners.
    EXPECT_EQ(rig.o.recordOverlayView->geometry(), record);
    EXPECT_EQ(container->width() - rig.o.batteryLevelIndicatorView->geometry().right(), batteryFromRight);
    EXPECT_EQ(container->height() - rig.o.audioLevelIndicator->geometry().bottom(), levelFromBottom);

    rig.o.OSDAboutBoxView->hide();
    EXPECT_FALSE(rig.placement->aboutBoxBlurView()->isVisible());
}

TEST(VideoWindowPlacement, InFullScreenTheControlsAnchorToTheScreenNotThePicture)
{
    PlacementRig rig;
    rig.placement->prepareWindow();
    const QRect designedBattery = rig.o.batteryLevelIndicatorView->geometry();
    const int batteryFromRight = rig.o.videoContainer->width() - designedBattery.right();
    rig.placement->enterExitFullScreen();
    // The battery keeps its distance from the screen's right edge, which lies
    // inside the wider picture.
    const QRect battery =
        rig.o.batteryLevelIndicatorView->geometry().translated(rig.o.videoContainer->geometry().topLeft());
    EXPECT_EQ(rig.screen().width() - battery.right(), batteryFromRight);
}

TEST(VideoWindowPlacement, ClosingTheWindowShowsThePointerAgain)
{
    PlacementRig rig;
    rig.placement->enterExitFullScreen();
    for (int tick = 0; tick < 7; ++tick)
        rig.placement->mouseIdleTimerHandler();
    ASSERT_TRUE(rig.placement->pointerHidden());
    rig.window().close();
    EXPECT_FALSE(rig.placement->pointerHidden());
    EXPECT_FALSE(rig.placement->fullScreenCursorTimerActive());
}

} // namespace
} // namespace kelvo::viewer
