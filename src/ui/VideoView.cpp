#include "ui/VideoView.h"

#include "ui/VideoViewGlSurface.h"
#include "video/FrameConversion.h"
#include "video/ImageFilterGeometry.h"

#include <QOpenGLContext>
#include <QPainter>
#include <QResizeEvent>

#include <cmath>

namespace kelvo::ui {

using namespace kelvo::video;

namespace {

QTransform toQTransform(const AffineTransform &t)
{
    return QTransform(t.a, t.b, t.c, t.d, t.tx, t.ty);
}

// Whether the transform only turns, mirrors and moves the picture by whole
// pixels, so that every screen pixel is exactly one picture pixel.
bool mapsPixelsOntoPixels(const QTransform &t)
{
    const auto whole = [](double v) { return std::abs(v - std::round(v)) < 1e-9; };
    const auto unit = [](double v) { return std::abs(std::abs(v) - 1.0) < 1e-9; };
    const auto zero = [](double v) { return std::abs(v) < 1e-9; };
    const bool straight = unit(t.m11()) && unit(t.m22()) && zero(t.m12()) && zero(t.m21());
    const bool turned = unit(t.m12()) && unit(t.m21()) && zero(t.m11()) && zero(t.m22());
    return (straight || turned) && whole(t.dx()) && whole(t.dy());
}

// Smoothed after the colour mode, as the GPU path's picture texture is: text
// scaled to the window keeps its thin strokes. A picture shown at its own
// size is drawn pixel for pixel, unblurred.
void drawPicture(QPainter &painter, const QTransform &transform, const QImage &picture)
{
    painter.setRenderHint(QPainter::SmoothPixmapTransform, !mapsPixelsOntoPixels(transform));
    painter.setTransform(transform);
    painter.drawImage(QPointF(0, 0), picture);
}

} // namespace

bool VideoView::canUseOpenGl()
{
    static const bool usable = [] {
        QOpenGLContext context;
        return context.create() && context.isValid();
    }();
    return usable;
}

VideoView::VideoView(QWidget *parent, RenderPath path) : QWidget(parent)
{
    setObjectName(QStringLiteral("videoView"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    m_curve = ColourCurve::compile({});
    if (path == RenderPath::Automatic && canUseOpenGl()) {
        m_gl = new VideoViewGlSurface(this);
        connect(m_gl, &VideoViewGlSurface::failed, this, &VideoView::useCpu, Qt::QueuedConnection);
        m_gl->setCurve(m_curve);
        layOutChildren();
    }
}

VideoView::~VideoView() = default;

void VideoView::useCpu()
{
    if (m_gl == nullptr) {
        return;
    }
    m_gl->hide();
    m_gl->deleteLater();
    m_gl = nullptr;
    m_cpuImageStale = m_frame.isValid();
    update();
}

void VideoView::presentFrame(const VideoFrame &frame)
{
    if (!isConvertible(frame)) {
        return;
    }
    const QSize before = frameSize();
    m_frame = frame;
    if (m_gl) {
        m_gl->setFrame(frame);
    } else {
        m_cpuImageStale = true;
    }
    layOutChildren();
    update();
    if (frameSize() != before) {
        emit frameSizeChanged(frameSize());
    }
}

void VideoView::setPreviewFilters(const ImageFilterList &filters)
{
    m_filters = filters;
    m_curve = ColourCurve::compile(filters);
    m_stillStale = !m_still.isNull();
    if (m_gl) {
        m_gl->setCurve(m_curve);
    } else {
        m_cpuImageStale = m_frame.isValid();
    }
    layOutChildren();
    update();
}

void VideoView::setStillPicture(const QImage &picture)
{
    m_still = picture.isNull() ? QImage() : picture.convertToFormat(QImage::Format_RGB32);
    m_stillStale = !m_still.isNull();
    if (m_gl) {
        // The GPU draws camera frames; a still is painted here.
        m_gl->setVisible(m_still.isNull());
    }
    update();
}

void VideoView::setFreezeFrameFilters(const ImageFilterList &filters)
{
    m_freezeFrameFilters = filters;
    update();
}

void VideoView::setVideoOrientation(std::int64_t orientation)
{
    m_orientation = orientation;
    layOutChildren();
    update();
}

void VideoView::setMirrored(bool mirrored)
{
    m_mirrored = mirrored;
    layOutChildren();
    update();
}

void VideoView::setOverlayWidget(QWidget *overlay)
{
    if (m_overlay == overlay) {
        return;
    }
    if (m_overlay) {
        m_overlay->setParent(nullptr);
    }
    m_overlay = overlay;
    if (overlay) {
        overlay->setParent(this);
        overlay->show();
    }
    layOutChildren();
}

QSize VideoView::frameSize() const
{
    return m_frame.isValid() ? QSize(m_frame.width, m_frame.height) : QSize();
}

void VideoView::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    layOutChildren();
}

void VideoView::layOutChildren()
{
    if (m_gl) {
        m_gl->setGeometry(rect());
        if (m_frame.isValid()) {
            m_gl->setFrameTransform(
                toQTransform(framePresentationTransform(m_frame.width, m_frame.height, m_orientation, m_mirrored,
                                                        SizeD{double(width()), double(height())}, m_filters)));
        }
    }
    if (m_overlay) {
        m_overlay->setGeometry(rect());
        m_overlay->raise();
    }
}

void VideoView::paintStill(QPainter &painter)
{
    if (m_stillStale) {
        m_stillColoured = m_still.copy();
        m_curve->applyToRgb32(reinterpret_cast<std::uint32_t *>(m_stillColoured.bits()), m_stillColoured.width(),
                              m_stillColoured.height(), m_stillColoured.bytesPerLine());
        m_stillStale = false;
    }
    const SizeD view{double(width()), double(height())};
    AffineTransform t = framePresentationTransform(m_still.width(), m_still.height(), 1, false, view, {});
    for (const ImageFilterList *list : {&m_freezeFrameFilters, &m_filters}) {
        for (const ImageFilter &filter : *list) {
            if (const auto *affine = std::get_if<AffineTransformFilter>(&filter)) {
                t = t.then(filterTransformInViewCoordinates(affine->inputTransform, view.height));
            }
        }
    }
    drawPicture(painter, toQTransform(t), m_stillColoured);
}

void VideoView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    if (!m_still.isNull()) {
        paintStill(painter);
        return;
    }
    if (m_gl || !m_frame.isValid()) {
        return;
    }
    if (m_cpuImageStale) {
        // Only the newest frame is converted, once, however many arrived
        // since the last paint.
        if (m_cpuImage.size() != QSize(m_frame.width, m_frame.height)) {
            m_cpuImage = QImage(m_frame.width, m_frame.height, QImage::Format_RGB32);
        }
        convertFrameToRgb32(m_frame, reinterpret_cast<std::uint32_t *>(m_cpuImage.bits()), m_cpuImage.bytesPerLine(),
                            m_curve.get());
        m_cpuImageStale = false;
        frameDrawn();
    }
    drawPicture(painter,
                toQTransform(framePresentationTransform(m_frame.width, m_frame.height, m_orientation, m_mirrored,
                                                        SizeD{double(width()), double(height())}, m_filters)),
                m_cpuImage);
}

} // namespace kelvo::ui
