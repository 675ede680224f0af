// The GPU and the CPU draw the same picture. Runs wherever an OpenGL context
// can be created (under Xvfb, Mesa's software renderer); elsewhere it says so
// and skips, and the CPU path stays covered by the other tests.
#include "RenderTestFrames.h"

#include "ui/VideoView.h"
#include "video/ColourMode.h"
#include "video/ImageFilterChain.h"

#include <QApplication>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

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
        }
    }
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
    for (const Case &c : cases) {
        auto frame = kelvo::test::randomFrame(c.format, c.range, c.width, c.height, 17);
        ImageFilterList filters = getColorModeFilters(c.mode);
        const bool quarter = c.orientation == 3 || c.orientation == 4;
        const QSize size = quarter ? QSize(2 * c.height, 2 * c.width) : QSize(2 * c.width, 2 * c.height);
        if (c.zoom > 1.0) {
            filters.push_back(
                AffineTransformFilter{ImageFilterChain::zoomTransform(size.width(), size.height(), c.zoom)});
        }
        QImage pictures[2];
        for (int i = 0; i < 2; ++i) {
            VideoView view(nullptr, i == 0 ? VideoView::RenderPath::Automatic : VideoView::RenderPath::Cpu);
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
                ASSERT_TRUE(view.isUsingGpu()) << c.name << ": the shaders did not build";
            }
        }
        ASSERT_EQ(pictures[0].size(), pictures[1].size()) << c.name;
        const Difference d = compare(pictures[0], pictures[1]);
        // The integer arithmetic is the same on both sides; the GPU may only
        // differ on the few green values whose double-precision sum lands a
        // hair below an integer, by one step.
        EXPECT_LE(d.largest, 1) << c.name;
        EXPECT_LE(d.pixels, pictures[0].width() * pictures[0].height() / 200) << c.name;
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
    VideoView view;
    ASSERT_TRUE(view.isUsingGpu());
    view.resize(32, 16);
    view.presentFrame(live.frame);
    EXPECT_EQ(QColor(renderShown(view).pixel(16, 8)), QColor(Qt::black));
    view.setStillPicture(still);
    EXPECT_EQ(QColor(renderShown(view).pixel(16, 8)), QColor(Qt::white));
    view.setStillPicture(QImage());
    EXPECT_EQ(QColor(renderShown(view).pixel(16, 8)), QColor(Qt::black));
}
