// The video window on a real X server with a window manager: what the user
// does to it goes through openbox, and its geometry is read back both from
// Qt and from the X server.
#include "viewer/VideoWindowPlacement.h"

#include "ui/DraggableWindow.h"
#include "viewer/window/FakeVideoWindowHost.h"

#include <QApplication>
#include <QGuiApplication>
#include <QProcess>
#include <QScreen>
#include <QStandardPaths>
#include <QTest>
#include <gtest/gtest.h>

#include <memory>

namespace kelvo::viewer {
namespace {

constexpr int kWaitMs = 5000;

// Runs a command and answers its standard output, or nothing on failure.
QString run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(kWaitMs) || process.exitCode() != 0)
        return {};
    return QString::fromLocal8Bit(process.readAllStandardOutput());
}

// The client window's position and size as the X server has them.
QRect xGeometry(WId window)
{
    const QString shell = run(QStringLiteral("xdotool"), {QStringLiteral("getwindowgeometry"),
                                                          QStringLiteral("--shell"), QString::number(window)});
    QRect r;
    for (const QString &line : shell.split(QLatin1Char('\n'))) {
        const QStringList pair = line.split(QLatin1Char('='));
        if (pair.size() != 2)
            continue;
        const int value = pair[1].toInt();
        if (pair[0] == QLatin1String("X"))
            r.moveLeft(value);
        else if (pair[0] == QLatin1String("Y"))
            r.moveTop(value);
        else if (pair[0] == QLatin1String("WIDTH"))
            r.setWidth(value);
        else if (pair[0] == QLatin1String("HEIGHT"))
            r.setHeight(value);
    }
    return r;
}

class VideoWindowX11 : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        if (QGuiApplication::platformName() != QLatin1String("xcb") ||
            QStandardPaths::findExecutable(QStringLiteral("openbox")).isEmpty() ||
            QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty())
            return;
        s_windowManager = new QProcess;
        s_windowManager->start(QStringLiteral("openbox"), {QStringLiteral("--sm-disable")});
        if (!s_windowManager->waitForStarted(kWaitMs))
            return;
        // openbox announces itself on the root window once it manages.
        (void)QTest::qWaitFor(
            [] {
                return run(QStringLiteral("xprop"),
                           {QStringLiteral("-root"), QStringLiteral("_NET_SUPPORTING_WM_CHECK")})
                    .contains(QLatin1String("window id"));
            },
            kWaitMs);
    }

    static void TearDownTestSuite()
    {
        if (!s_windowManager)
            return;
        s_windowManager->terminate();
        s_windowManager->waitForFinished(kWaitMs);
        delete s_windowManager;
        s_windowManager = nullptr;
    }

    void SetUp() override
    {
        if (!s_windowManager || s_windowManager->state() != QProcess::Running)
            GTEST_SKIP() << "needs the xcb platform, openbox and xdotool";
        o = ui::loadMainWindowInterface(topLevel);
        o.videoWindow->setGeometry(200, 200, 640, 400);
        placement = std::make_unique<VideoWindowPlacement>(o, host);
        o.videoWindow->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(o.videoWindow));
        // Let openbox finish placing and decorating the window.
        QTest::qWait(200);
    }

    void TearDown() override { placement.reset(); }

    bool pictureIs16By9() const
    {
        const QWidget *picture = o.videoContainer;
        return std::abs(picture->width() * 9.0 / 16 - picture->height()) <= 1;
    }

    static inline QProcess *s_windowManager = nullptr;
    std::vector<std::unique_ptr<QWidget>> topLevel;
    ui::MainWindowOutlets o;
    testing::FakeVideoWindowHost host;
    std::unique_ptr<VideoWindowPlacement> placement;
};

TEST_F(VideoWindowX11, AResizeThroughTheWindowManagerGetsThePicturesShapeBack)
{
    placement->setWindowAspectRatio();
    ASSERT_TRUE(QTest::qWaitFor([&] { return pictureIs16By9(); }, kWaitMs));

    const WId id = o.videoWindow->winId();
    host.calls.clear();
    run(QStringLiteral("xdotool"),
        {QStringLiteral("windowsize"), QString::number(id), QStringLiteral("960"), QStringLiteral("400")});
    // The window manager's resize arrives, rests, and the height follows the
    // new width.
    ASSERT_TRUE(QTest::qWaitFor([&] { return o.videoWindow->width() == 960 && pictureIs16By9(); }, kWaitMs))
        << o.videoWindow->width() << " x " << o.videoContainer->height();
    EXPECT_EQ(o.videoContainer->height(), 540);
    EXPECT_GE(host.count("setImageFilters"), 1);
    EXPECT_GE(host.count("savePreferences"), 1);
    // The X server agrees.
    ASSERT_TRUE(QTest::qWaitFor([&] { return xGeometry(id).size() == o.videoWindow->size(); }, kWaitMs))
        << xGeometry(id).width() << " x " << xGeometry(id).height();
}

TEST_F(VideoWindowX11, DocksToTheTopRightAndComesBackThereAfterFullScreen)
{
    const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
    const WId id = o.videoWindow->winId();
    placement->moveWindowToRight();
    placement->moveWindowToTop();
    EXPECT_EQ(placement->isDocked(), 1 + 64);
    auto dockedTopRight = [&] {
        const QRect frame = o.videoWindow->frameGeometry();
        const QRect client = xGeometry(id);
        // The decorated frame touches the corner; the client lies just inside.
        return frame.top() == available.top() && frame.right() == available.right() &&
               client.right() <= available.right() && client.right() >= available.right() - 10 &&
               client.top() >= available.top() && client.top() <= available.top() + 60;
    };
    ASSERT_TRUE(QTest::qWaitFor(dockedTopRight, kWaitMs))
        << "frame " << o.videoWindow->frameGeometry().x() << "," << o.videoWindow->frameGeometry().y();
    const QSize size = o.videoWindow->size();

    // In full screen a 4:3 picture fills the 16:9 screen's width and is cut
    // at the top and bottom.
    host.picture = QSizeF(640, 480);
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    placement->enterExitFullScreen();
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return placement->isFullScreen() && o.videoWindow->geometry() == screen; }, kWaitMs));
    const int height = screen.width() * 3 / 4;
    EXPECT_EQ(o.videoContainer->geometry(), QRect(0, -(height - screen.height()) / 2, screen.width(), height));

    // The camera goes back to 16:9 before the window leaves full screen, so
    // that the window it returns to still fits the picture.
    host.picture = QSizeF(1280, 720);
    placement->enterExitFullScreen();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !placement->isFullScreen() && !placement->transitioningFromFullScreen(); },
                                kWaitMs));
    auto describe = [&] {
        const QRect f = o.videoWindow->frameGeometry();
        const QRect g = o.videoWindow->geometry();
        const QRect x = xGeometry(id);
        return QStringLiteral("frame %1,%2 %3x%4 client %5,%6 %7x%8 x %9,%10 %11x%12 state %13")
            .arg(f.x())
            .arg(f.y())
            .arg(f.width())
            .arg(f.height())
            .arg(g.x())
            .arg(g.y())
            .arg(g.width())
            .arg(g.height())
            .arg(x.x())
            .arg(x.y())
            .arg(x.width())
            .arg(x.height())
            .arg(int(o.videoWindow->windowState()))
            .toStdString();
    };
    ASSERT_TRUE(QTest::qWaitFor([&] { return dockedTopRight() && o.videoWindow->size() == size; }, kWaitMs))
        << describe() << " expected size " << size.width() << "x" << size.height();
    EXPECT_EQ(placement->isDocked(), 1 + 64);

    // Dragged away by the user (through the window manager), the window is
    // no longer docked, and the move is saved once it rests.
    host.calls.clear();
    run(QStringLiteral("xdotool"),
        {QStringLiteral("windowmove"), QString::number(id), QStringLiteral("300"), QStringLiteral("300")});
    ASSERT_TRUE(QTest::qWaitFor([&] { return placement->isDocked() == 0; }, kWaitMs));
    EXPECT_TRUE(QTest::qWaitFor([&] { return host.count("savePreferences") >= 2; }, kWaitMs));
}

TEST_F(VideoWindowX11, FourQuarterTurnsGiveTheWindowBackItsFrame)
{
    placement->setWindowAspectRatio();
    ASSERT_TRUE(QTest::qWaitFor([&] { return pictureIs16By9(); }, kWaitMs));
    QTest::qWait(200);
    const QRect start = o.videoWindow->geometry();
    const QSize picture = o.videoContainer->size();
    const WId id = o.videoWindow->winId();
    // What a turn does in the viewer, with the window manager answering
    // each one as it would between two presses of the key.
    auto turn = [&] {
        host.picture = host.picture.transposed();
        placement->rotateWindow();
        placement->setWindowAspectRatio();
        QTest::qWait(400);
    };
    auto describe = [&] {
        const QRect g = o.videoWindow->geometry();
        return QStringLiteral("%1,%2 %3x%4").arg(g.x()).arg(g.y()).arg(g.width()).arg(g.height()).toStdString();
    };

    turn();
    EXPECT_EQ(o.videoContainer->size(), picture.transposed()) << describe();
    turn();
    EXPECT_EQ(o.videoWindow->geometry(), start) << describe();
    turn();
    turn();
    EXPECT_EQ(o.videoWindow->geometry(), start) << describe();
    EXPECT_TRUE(QTest::qWaitFor([&] { return xGeometry(id).size() == start.size(); }, kWaitMs));
}

} // namespace
} // namespace kelvo::viewer
