// The GPU and the CPU draw the same picture. Runs wherever an OpenGL context
// can be created (under Xvfb, Mesa's software renderer); elsewhere it says so
// and skips, and the CPU path stays covered by the other tests.
#include "RenderTestFrames.h"

#include "ui/VideoView.h"
#include "video/ColourMode.h"
#include "video/ImageFilterChain.h"

#include <QApplication>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

using namespace kelvo::video;
using kelvo::ui::VideoView;

namespace {

QImage renderShown(VideoView &view)
{
    view.show();
    for (int i = 0; i < 5; ++i) {
        QApplication::processEvents();
    }
    return view.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

struct Difference {
    int pixels = 0;
    int largest = 0;
    double mean = 0; // per channel
};

Difference compare(const QImage &a, const QImage &b)
{
    Difference d;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            const int diff =
                std::max({std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)), std::abs(qBlue(p) - qBlue(q))});
            if (diff > 0) {
                ++d.pixels;
                d.largest = std::max(d.largest, diff);
            }
            d.mean += std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) + std::abs(qBlue(p) - qBlue(q));
        }
    }
    d.mean /= 3.0 * a.width() * a.height();
    return d;
}

} // namespace

TEST(GpuAgreement, GpuAndCpuDrawTheSamePicture)
{
    if (!VideoView::canUseOpenGl()) {
        GTEST_SKIP() << "no OpenGL context can be created on platform " << qPrintable(QApplication::platformName())
                     << "; the GPU path is compared under Xvfb (test_ui_render_gl)";
    }
    struct Case {
        const char *name;
        PixelFormat format;
        ColourRange range;
        int width, height;
        std::int64_t mode;
        std::int64_t orientation;
        bool mirrored;
        double zoom;
    };
    const Case cases[] = {
        {"packed, normal", PixelFormat::UYVY, ColourRange::Video, 40, 24, 0, 1, false, 1.0},
        {"planar video range, black on yellow", PixelFormat::NV12, ColourRange::Video, 40, 24, 10, 1, false, 1.0},
        {"planar full range, turned and mirrored", PixelFormat::NV12, ColourRange::Full, 40, 24, 24, 3, true, 1.0},
        {"packed odd width, half turn", PixelFormat::UYVY, ColourRange::Video, 37, 21, 2, 2, false, 1.0},
        {"planar odd size, zoomed", PixelFormat::NV12, ColourRange::Video, 37, 21, 0, 4, false, 2.0},
    };
    // At the frame's own size every screen pixel samples the middle of one
    // picture pixel, and the two paths must agree exactly. Scaled, both
    // smooth the picture, each with its own rounding of the blend weights.
    for (const auto &[c, scale] : [&] {
             std::vector<std::pair<Case, int>> runs;
             for (const Case &c : cases) {
                 if (c.zoom == 1.0) {
                     runs.emplace_back(c, 1);
                 }
                 runs.emplace_back(c, 2);
             }
             return runs;
         }()) {
        auto frame = kelvo::test::randomFrame(c.format, c.range, c.width, c.height, 17);
        ImageFilterList filters = getColorModeFilters(c.mode);
        const bool quarter = c.orientation == 3 || c.orientation == 4;
        const QSize size =
            quarter ? QSize(scale * c.height, scale * c.width) : QSize(scale * c.width, scale * c.height);
        const std::string name = std::string(c.name) + (scale == 1 ? ", own size" : ", scaled");
        if (c.zoom > 1.0) {
            filters.push_back(
                AffineTransformFilter{ImageFilterChain::zoomTransform(size.width(), size.height(), c.zoom)});
        }
        QImage pictures[2];
        for (int i = 0; i < 2; ++i) {
            VideoView view(nullptr, i == 0 ? VideoView::RenderPath::Gpu : VideoView::RenderPath::Cpu);
            if (i == 0) {
                ASSERT_TRUE(view.isUsingGpu());
            }
            view.resize(size);
            view.setVideoOrientation(c.orientation);
            view.setMirrored(c.mirrored);
            view.setPreviewFilters(filters);
            // An earlier frame of the same size first, so the GPU refills
            // its textures rather than allocating them.
            auto earlier = kelvo::test::randomFrame(c.format, c.range, c.width, c.height, 99);
            view.presentFrame(earlier.frame);
            renderShown(view);
            view.presentFrame(frame.frame);
            pictures[i] = renderShown(view);
            if (i == 0) {
                ASSERT_TRUE(view.isUsingGpu()) << name << ": the shaders did not build";
            }
        }
        ASSERT_EQ(pictures[0].size(), pictures[1].size()) << name;
        const Difference d = compare(pictures[0], pictures[1]);
        if (scale == 1 && c.zoom == 1.0) {
            // The integer arithmetic is the same on both sides; the GPU may
            // only differ on the few green values whose double-precision sum
            // lands a hair below an integer, by one step.
            EXPECT_LE(d.largest, 1) << name;
            EXPECT_LE(d.pixels, pictures[0].width() * pictures[0].height() / 200) << name;
        } else {
            // Random pixels are the worst case for blending: neighbours far
            // apart, so a sample half a pixel out of place would differ by
            // tens of steps. Each side rounds its blend weights its own way
            // (Mesa's software renderer: at most 4 steps, 1.2 on average).
            EXPECT_LE(d.largest, 6) << name;
            EXPECT_LT(d.mean, 2.0) << name;
        }
    }
}

// A still picture is painted over the GPU's live picture, and the live
// picture comes back when the still is cleared.
TEST(GpuAgreement, StillPictureReplacesTheLivePicture)
{
    if (!VideoView::canUseOpenGl()) {
        GTEST_SKIP() << "no OpenGL context can be created on platform " << qPrintable(QApplication::platformName());
    }
    auto live = kelvo::test::greyNv12(16, 8, 0);
    QImage still(16, 8, QImage::Format_RGB32);
    still.fill(Qt::white);
    VideoView view(nullptr, VideoView::RenderPath::Gpu);
    ASSERT_TRUE(view.isUsingGpu());
    view.resize(32, 16);
    view.presentFrame(live.frame);
    EXPECT_EQ(QColor(renderShown(view).pixel(16, 8)), QColor(Qt::black));
    view.setStillPicture(still);
    EXPECT_EQ(QColor(renderShown(view).pixel(16, 8)), QColor(Qt::white));
    view.setStillPicture(QImage());
    EXPECT_EQ(QColor(renderShown(view).pixel(16, 8)), QColor(Qt::black));
}

// Scaled up, the picture is smoothed after the colour mode: across the edge
// between a black and a white half, black on yellow blends from black to
// yellow in even steps. Smoothing before the mode would put the blended
// greys through its steep threshold, leaving at most one step between.
TEST(GpuAgreement, ScalingSmoothsAfterTheColourMode)
{
    auto frame = kelvo::test::greyNv12(8, 4, 255);
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 4; ++x) {
            kelvo::test::setLuma(frame, x, y, 0);
        }
    }
    std::vector<VideoView::RenderPath> paths = {VideoView::RenderPath::Cpu};
    if (VideoView::canUseOpenGl()) {
        paths.push_back(VideoView::RenderPath::Gpu);
    }
    for (VideoView::RenderPath path : paths) {
        VideoView view(nullptr, path);
        view.resize(32, 16); // four screen pixels to a frame pixel; the edge at x = 16
        view.setPreviewFilters(getColorModeFilters(10));
        view.presentFrame(frame.frame);
        const QImage image = renderShown(view);
        const char *name = view.isUsingGpu() ? "gpu" : "cpu";
        // Screen pixel x samples the frame at (x + 0.5) / 4, between the
        // middles of frame pixels 3 and 4 at 3.5 and 4.5.
        for (int x = 12; x < 20; ++x) {
            const double yellow = std::clamp((x + 0.5) / 4.0 - 3.5, 0.0, 1.0);
            const QColor c = QColor::fromRgb(image.pixel(x, 8));
            EXPECT_NEAR(c.red(), 255 * yellow, 6) << name << " at " << x;
            EXPECT_NEAR(c.green(), 255 * yellow, 6) << name << " at " << x;
            EXPECT_LE(c.blue(), 6) << name << " at " << x;
        }
    }
}

// Moved into another window, the GPU surface gets a new context and new,
// empty textures; the same frame must come back, not a black picture.
TEST(GpuAgreement, KeepsThePictureWhenMovedToAnotherWindow)
{
    if (!VideoView::canUseOpenGl()) {
        GTEST_SKIP() << "no OpenGL context can be created on platform " << qPrintable(QApplication::platformName());
    }
    auto frame = kelvo::test::randomFrame(PixelFormat::NV12, ColourRange::Video, 40, 24, 3);
    QWidget first, second;
    auto *view = new VideoView(&first, VideoView::RenderPath::Gpu);
    ASSERT_TRUE(view->isUsingGpu());
    view->resize(40, 24);
    view->presentFrame(frame.frame);
    first.show();
    const QImage before = renderShown(*view);

    // A later frame of the same size, so the planes are refilled rather than
    // given a size, after the move.
    auto later = kelvo::test::randomFrame(PixelFormat::NV12, ColourRange::Video, 40, 24, 4);
    view->setParent(&second);
    second.show();
    view->presentFrame(later.frame);
    view->presentFrame(frame.frame);
    const QImage after = renderShown(*view);
    ASSERT_TRUE(view->isUsingGpu());
    const Difference d = compare(before, after);
    EXPECT_EQ(d.pixels, 0) << "largest difference " << d.largest;
}
