// The live picture's work as the window sees it: what a paint writes into
// the window, and that nothing is converted while nothing new can be seen.
#include "RenderTestFrames.h"

#include "ui/VideoView.h"
#include "video/ColourMode.h"
#include "video/FrameConversion.h"
#include "video/ImageFilterChain.h"

#include <QApplication>
#include <QScreen>
#include <QWindow>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

using namespace kelvo::video;
using kelvo::test::greyNv12;
using kelvo::test::pixelAt;
using kelvo::test::randomFrame;
using kelvo::ui::VideoView;

namespace {

void settle()
{
    for (int i = 0; i < 5; ++i) {
        QApplication::processEvents();
    }
}

// The window's pixels as they would reach the screen.
QImage windowPixels(QWidget &top)
{
    return top.screen()->grabWindow(top.winId()).toImage().convertToFormat(QImage::Format_RGB32);
}

// A window with the view inside it, away from its corner.
struct Window {
    QWidget top;
    VideoView *view = new VideoView(&top, VideoView::RenderPath::Cpu);

    explicit Window(QSize viewSize)
    {
        top.resize(viewSize.width() + 20, viewSize.height() + 14);
        view->setGeometry(QRect(QPoint(10, 7), viewSize));
        top.show();
        settle();
    }
};

// Counts the paints a widget receives.
struct PaintCounter : QObject {
    int paints = 0;
    bool eventFilter(QObject *, QEvent *event) override
    {
        paints += event->type() == QEvent::Paint ? 1 : 0;
        return false;
    }
};

} // namespace

// Painted straight into the window at its own size, the picture is the
// exact conversion; a frame of another size or layout mid-stream takes
// over, an unreadable one is skipped, and the picture keeps moving.
TEST(LivePicture, WindowShowsTheExactPictureThroughChangesOfFrame)
{
    Window w(QSize(40, 24));
    std::vector<QSize> sizes;
    QObject::connect(w.view, &VideoView::frameSizeChanged, [&](QSize s) { sizes.push_back(s); });
    w.view->setPreviewFilters(getColorModeFilters(10));
    const auto curve = ColourCurve::compile(getColorModeFilters(10));

    auto packed = randomFrame(PixelFormat::UYVY, ColourRange::Video, 40, 24, 8);
    w.view->presentFrame(packed.frame);
    settle();
    QImage exact(40, 24, QImage::Format_RGB32);
    ASSERT_TRUE(convertFrameToRgb32(packed.frame, reinterpret_cast<std::uint32_t *>(exact.bits()), exact.bytesPerLine(),
                                    curve.get()));
    const QImage shown = windowPixels(w.top);
    EXPECT_EQ(shown.copy(10, 7, 40, 24), exact) << "the view's part of the window";
    EXPECT_EQ(pixelAt(shown, 5, 5), QColor(pixelAt(windowPixels(w.top), 5, 5))) << "the window around it untouched";

    // Half the size in the other layout: fitted to the view, upright.
    auto planar = greyNv12(20, 12, 255);
    w.view->presentFrame(planar.frame);
    settle();
    EXPECT_EQ(pixelAt(windowPixels(w.top), 30, 19), QColor(255, 255, 0)) << "paper of black on yellow";
    // Unreadable: the chroma plane is missing; the next good frame still shows.
    auto broken = greyNv12(64, 32, 0);
    broken.frame.planes[1] = nullptr;
    w.view->presentFrame(broken.frame);
    auto dark = greyNv12(20, 12, 0);
    w.view->presentFrame(dark.frame);
    settle();
    EXPECT_EQ(pixelAt(windowPixels(w.top), 30, 19), QColor(Qt::black)) << "text of black on yellow";
    EXPECT_EQ(sizes, (std::vector<QSize>{QSize(40, 24), QSize(20, 12)}));

    // A view squeezed to nothing draws nothing and comes back with the
    // newest frame.
    w.view->resize(0, 0);
    auto light = greyNv12(20, 12, 255);
    w.view->presentFrame(light.frame);
    settle();
    w.view->resize(40, 24);
    settle();
    EXPECT_EQ(pixelAt(windowPixels(w.top), 30, 19), QColor(255, 255, 0));
}

// Frames under a frozen picture, or while the window is hidden or
// minimised, are not converted; the newest is drawn once it can be seen.
TEST(LivePicture, NothingIsConvertedWhileNothingNewCanBeSeen)
{
    Window w(QSize(32, 16));
    PaintCounter counter;
    w.view->installEventFilter(&counter);
    auto dark = greyNv12(32, 16, 0), light = greyNv12(32, 16, 255);
    w.view->presentFrame(dark.frame);
    settle();
    ASSERT_GT(w.view->conversions(), 0);

    QImage still(32, 16, QImage::Format_RGB32);
    still.fill(Qt::blue);
    w.view->setStillPicture(still);
    settle();
    const int before = w.view->conversions(), paintsBefore = counter.paints;
    for (int i = 0; i < 5; ++i) {
        w.view->presentFrame(i % 2 ? dark.frame : light.frame);
        settle();
    }
    EXPECT_EQ(w.view->conversions(), before) << "frozen";
    EXPECT_EQ(counter.paints, paintsBefore) << "frozen: the still is not painted again for each frame";
    EXPECT_EQ(pixelAt(windowPixels(w.top), 20, 12), QColor(Qt::blue));
    w.view->setStillPicture(QImage());
    settle();
    EXPECT_EQ(pixelAt(windowPixels(w.top), 20, 12), QColor(Qt::white)) << "the newest frame when thawed";
    EXPECT_GT(w.view->conversions(), before);

    const auto unseen = [&](const char *how, auto hideIt, auto showIt) {
        hideIt();
        settle();
        if (w.top.isVisible() && w.top.windowHandle()->isExposed()) {
            // This platform keeps a minimised window exposed: nothing to test.
            std::printf("%s: the window stays exposed on %s\n", how, qPrintable(QApplication::platformName()));
            showIt();
            return;
        }
        const int hiddenAt = w.view->conversions(), paintsHiddenAt = counter.paints;
        for (int i = 0; i < 5; ++i) {
            w.view->presentFrame(i % 2 ? dark.frame : light.frame);
            settle();
        }
        EXPECT_EQ(w.view->conversions(), hiddenAt) << how;
        EXPECT_EQ(counter.paints, paintsHiddenAt) << how;
        showIt();
        settle();
        EXPECT_GT(w.view->conversions(), hiddenAt) << how << ": drawn again once seen";
        EXPECT_EQ(pixelAt(windowPixels(w.top), 20, 12), QColor(Qt::white)) << how << ": the newest frame";
    };
    unseen(
        "hidden", [&] { w.top.hide(); }, [&] { w.top.show(); });
    w.view->presentFrame(dark.frame);
    settle();
    unseen(
        "minimised", [&] { w.top.showMinimized(); }, [&] { w.top.showNormal(); });
}
