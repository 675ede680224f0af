#include "RenderTestFrames.h"

#include "ui/VideoView.h"
#include "video/ColourMode.h"
#include "video/ImageFilterChain.h"

#include <QCoreApplication>
#include <QPainter>

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

using namespace kelvo::video;
using kelvo::test::greyNv12;
using kelvo::test::pixelAt;
using kelvo::ui::VideoView;

namespace {

QImage render(VideoView &view)
{
    return view.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

int distance(QRgb a, QRgb b)
{
    return std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b)) + std::abs(qBlue(a) - qBlue(b));
}

// The smallest rectangle holding every pixel nearer the mark's colour than
// the paper's, if any. The picture is smoothed as it is scaled, so a mark's
// edge blends into the paper; where the mark covers at least half of a
// pixel, that pixel is nearer the mark.
std::optional<QRect> boundsOf(const QImage &image, QRgb colour, QRgb paper = qRgb(255, 255, 255))
{
    std::optional<QRect> bounds;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (distance(image.pixel(x, y), colour) < distance(image.pixel(x, y), paper)) {
                bounds = bounds ? bounds->united(QRect(x, y, 1, 1)) : QRect(x, y, 1, 1);
            }
        }
    }
    return bounds;
}

void expectNear(const QColor &got, const QColor &want, const std::string &what)
{
    EXPECT_NEAR(got.red(), want.red(), 4) << what;
    EXPECT_NEAR(got.green(), want.green(), 4) << what;
    EXPECT_NEAR(got.blue(), want.blue(), 4) << what;
}

// A white frame with one black pixel.
kelvo::test::OwnedFrame markedFrame(int width, int height, int markX, int markY)
{
    auto f = greyNv12(width, height, 255);
    kelvo::test::setLuma(f, markX, markY, 0);
    return f;
}

} // namespace

TEST(VideoView, OffscreenViewPaintsWithTheCpu)
{
    VideoView view;
    EXPECT_FALSE(view.isUsingGpu()) << "no OpenGL context on the offscreen platform";
    VideoView cpu(nullptr, VideoView::RenderPath::Cpu);
    EXPECT_FALSE(cpu.isUsingGpu());
}

TEST(VideoView, ColourModesColourTheRenderedTextAndPaper)
{
    // Left half black text, right half white paper.
    auto frame = greyNv12(8, 4, 255);
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 4; ++x) {
            kelvo::test::setLuma(frame, x, y, 0);
        }
    }
    VideoView view(nullptr, VideoView::RenderPath::Cpu);
    view.resize(16, 8);
    view.presentFrame(frame.frame);
    struct Case {
        std::int64_t mode;
        QColor text, paper;
    };
    const Case cases[] = {
        {0, Qt::black, Qt::white},           {1, Qt::black, Qt::white},
        {2, Qt::white, Qt::black},           {10, Qt::black, QColor(255, 255, 0)},
        {30, QColor(255, 255, 0), Qt::blue}, {5, Qt::red, Qt::black},
    };
    for (const Case &c : cases) {
        view.setPreviewFilters(getColorModeFilters(c.mode));
        const QImage image = render(view);
        // Within a few steps: 1 − 0.999 residues show as about 3/255.
        expectNear(pixelAt(image, 2, 4), c.text, "text of mode " + std::to_string(c.mode));
        expectNear(pixelAt(image, 13, 4), c.paper, "paper of mode " + std::to_string(c.mode));
    }
}

// A marked pixel moves to m + z·(p − m) about the view's centre m.
TEST(VideoView, DigitalZoomEnlargesAboutTheCentre)
{
    auto frame = markedFrame(64, 32, 40, 10);
    VideoView view(nullptr, VideoView::RenderPath::Cpu);
    view.resize(128, 64); // frame pixel (40, 10) covers view pixels 80..81, 20..21
    view.presentFrame(frame.frame);

    const auto plain = boundsOf(render(view), qRgb(0, 0, 0));
    ASSERT_TRUE(plain);
    EXPECT_EQ(*plain, QRect(80, 20, 2, 2));

    for (double zoom : {2.0, 1.5}) {
        view.setPreviewFilters({AffineTransformFilter{ImageFilterChain::zoomTransform(128, 64, zoom)}});
        const auto zoomed = boundsOf(render(view), qRgb(0, 0, 0));
        ASSERT_TRUE(zoomed) << zoom;
        // The marked square's corners (80, 20) and (82, 22), moved about (64, 32).
        const double left = 64 + zoom * (80 - 64), top = 32 + zoom * (20 - 32);
        const double right = 64 + zoom * (82 - 64), bottom = 32 + zoom * (22 - 32);
        EXPECT_EQ(*zoomed, QRect(QPoint(int(left), int(top)), QPoint(int(right) - 1, int(bottom) - 1))) << zoom;
    }
}

// A 8 × 4 frame marked at (6, 1), shown at twice its size in a view the
// shape of the turned picture: where the mark lands for every orientation,
// with and without the mirror.
TEST(VideoView, OrientationsAndMirrorOnANonSquareFrame)
{
    auto frame = markedFrame(8, 4, 6, 1);
    struct Case {
        std::int64_t orientation;
        bool mirrored;
        QSize view;
        QPoint mark; // in pixels of the turned picture
    };
    const Case cases[] = {
        {1, false, {16, 8}, {6, 1}}, {1, true, {16, 8}, {1, 1}}, // upright
        {2, false, {16, 8}, {1, 2}}, {2, true, {16, 8}, {6, 2}}, // half turn
        {3, false, {8, 16}, {1, 1}}, {3, true, {8, 16}, {2, 1}}, // quarter turn counter-clockwise
        {4, false, {8, 16}, {2, 6}}, {4, true, {8, 16}, {1, 6}}, // three quarters counter-clockwise
    };
    for (const Case &c : cases) {
        VideoView view(nullptr, VideoView::RenderPath::Cpu);
        view.resize(c.view);
        view.setVideoOrientation(c.orientation);
        view.setMirrored(c.mirrored);
        view.presentFrame(frame.frame);
        const auto mark = boundsOf(render(view), qRgb(0, 0, 0));
        ASSERT_TRUE(mark) << c.orientation;
        EXPECT_EQ(*mark, QRect(2 * c.mark.x(), 2 * c.mark.y(), 2, 2))
            << "orientation " << c.orientation << " mirrored " << c.mirrored;
    }
}

TEST(VideoView, OnlyTheNewestFrameIsDrawn)
{
    auto dark = greyNv12(16, 8, 0), mid = greyNv12(16, 8, 128), light = greyNv12(16, 8, 255);
    VideoView view(nullptr, VideoView::RenderPath::Cpu);
    view.resize(16, 8);
    std::vector<QSize> sizes;
    QObject::connect(&view, &VideoView::frameSizeChanged, [&](QSize size) { sizes.push_back(size); });
    view.presentFrame(dark.frame);
    view.presentFrame(mid.frame);
    view.presentFrame(light.frame);
    const QImage image = render(view);
    EXPECT_EQ(view.framesDrawn(), 1) << "three frames before one paint convert once";
    EXPECT_EQ(pixelAt(image, 8, 4), Qt::white);
    EXPECT_EQ(sizes, std::vector<QSize>{QSize(16, 8)});

    // A frame that cannot be read changes nothing.
    auto broken = greyNv12(32, 8, 0);
    broken.frame.planes[1] = nullptr;
    view.presentFrame(broken.frame);
    EXPECT_EQ(view.frameSize(), QSize(16, 8));
    EXPECT_EQ(pixelAt(render(view), 8, 4), Qt::white);
    EXPECT_EQ(sizes.size(), 1u);
}

// The frame's bytes outlive the caller's copy: the view keeps the newest frame
// and can redraw it with new filters.
TEST(VideoView, RedrawsTheKeptFrameWhenFiltersChange)
{
    VideoView view(nullptr, VideoView::RenderPath::Cpu);
    view.resize(16, 8);
    {
        auto frame = greyNv12(16, 8, 255);
        view.presentFrame(frame.frame);
    }
    EXPECT_EQ(pixelAt(render(view), 3, 3), Qt::white);
    view.setPreviewFilters(getColorModeFilters(12)); // black on blue: paper turns blue
    EXPECT_EQ(pixelAt(render(view), 3, 3), Qt::blue);
}

namespace {

class RedSquare : public QWidget {
public:
    void paintEvent(QPaintEvent *) override { QPainter(this).fillRect(0, 0, 4, 4, Qt::red); }
};

} // namespace

TEST(VideoView, OverlayCoversThePictureAndStaysOnTop)
{
    VideoView view(nullptr, VideoView::RenderPath::Cpu);
    view.resize(40, 20);
    auto frame = greyNv12(40, 20, 255);
    view.presentFrame(frame.frame);
    auto *overlay = new RedSquare;
    overlay->setAttribute(Qt::WA_TranslucentBackground);
    view.setOverlayWidget(overlay);
    EXPECT_EQ(overlay->parentWidget(), &view);
    EXPECT_EQ(overlay->geometry(), view.rect());
    view.resize(60, 30);
    const QImage image = render(view);
    EXPECT_EQ(overlay->geometry(), QRect(0, 0, 60, 30));
    EXPECT_EQ(pixelAt(image, 1, 1), Qt::red) << "the overlay draws above the picture";
    EXPECT_EQ(pixelAt(image, 30, 15), Qt::white) << "and lets the picture show elsewhere";

    view.setOverlayWidget(nullptr);
    EXPECT_EQ(overlay->parentWidget(), nullptr);
    delete overlay;
}

// A frozen picture goes through the preview's colour mode and zoom, and its
// own mirror, in place of the live frames; clearing it shows the live picture.
TEST(VideoView, StillPictureTakesTheColourModeZoomAndMirror)
{
    QImage still(8, 4, QImage::Format_RGB32);
    still.fill(Qt::white);
    still.setPixel(6, 1, qRgb(0, 0, 0));
    auto live = greyNv12(8, 4, 0);

    VideoView view(nullptr, VideoView::RenderPath::Cpu);
    view.resize(16, 8);
    view.presentFrame(live.frame);
    view.setStillPicture(still);
    EXPECT_TRUE(view.isShowingStill());
    view.setPreviewFilters(getColorModeFilters(12)); // black on blue
    QImage image = render(view);
    EXPECT_EQ(pixelAt(image, 1, 1), Qt::blue) << "paper of the still";
    const QRgb blue = qRgb(0, 0, 255);
    EXPECT_EQ(boundsOf(image, qRgb(0, 0, 0), blue), QRect(12, 2, 2, 2)) << "text of the still";

    view.setFreezeFrameFilters({AffineTransformFilter{ImageFilterChain::mirrorTransform(16)}});
    EXPECT_EQ(boundsOf(render(view), qRgb(0, 0, 0), blue), QRect(2, 2, 2, 2)) << "mirrored within the view";

    ImageFilterList zoomed = getColorModeFilters(12);
    zoomed.push_back(AffineTransformFilter{ImageFilterChain::zoomTransform(16, 8, 2.0)});
    view.setPreviewFilters(zoomed);
    // Mirrored mark at (2..3, 2..3), moved about the centre (8, 4): (−4..−1, 0..3), off the left edge.
    EXPECT_FALSE(boundsOf(render(view), qRgb(0, 0, 0), blue));

    view.setStillPicture(QImage());
    EXPECT_FALSE(view.isShowingStill());
    EXPECT_EQ(pixelAt(render(view), 8, 4), Qt::black) << "the live frame (black, text) again";
}
