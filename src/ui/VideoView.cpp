#include "ui/VideoView.h"

#include "common/SystemLog.h"
#include "ui/VideoViewGlSurface.h"
#include "video/FrameConversion.h"
#include "video/FrameTrace.h"
#include "video/ImageFilterGeometry.h"

#include <QMetaObject>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QPaintEngine>
#include <QPaintEvent>
#include <QPainter>
#include <QResizeEvent>
#include <QWindow>

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

bool holdsRgb32Words(QImage::Format format)
{
    return format == QImage::Format_RGB32 || format == QImage::Format_ARGB32 ||
           format == QImage::Format_ARGB32_Premultiplied;
}

RenderPreference &processPreference()
{
    static RenderPreference preference = RenderPreference::Automatic;
    return preference;
}

} // namespace

std::optional<std::string> VideoView::openGlRenderer()
{
    static const std::optional<std::string> renderer = []() -> std::optional<std::string> {
        QOpenGLContext context;
        if (!context.create() || !context.isValid()) {
            return std::nullopt;
        }
        QOffscreenSurface surface;
        surface.setFormat(context.format());
        surface.create();
        if (!surface.isValid() || !context.makeCurrent(&surface)) {
            return std::nullopt;
        }
        const auto *name = reinterpret_cast<const char *>(context.functions()->glGetString(GL_RENDERER));
        std::string text = name ? name : "";
        context.doneCurrent();
        return text;
    }();
    return renderer;
}

bool VideoView::canUseOpenGl()
{
    return openGlRenderer().has_value();
}

void VideoView::setRenderPreference(RenderPreference preference)
{
    processPreference() = preference;
}

kelvo::video::RenderPath VideoView::chosenRenderPath()
{
    static const kelvo::video::RenderPath path = [] {
        const RenderPathChoice choice = chooseRenderPath(processPreference(), openGlRenderer());
        systemLog("Live picture drawn on the %s\n", choice.reason.c_str());
        return choice.path;
    }();
    return path;
}

VideoView::VideoView(QWidget *parent, RenderPath path) : QWidget(parent)
{
    setObjectName(QStringLiteral("videoView"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    m_curve = ColourCurve::compile({});
    const bool gpu = path == RenderPath::Gpu         ? canUseOpenGl()
                     : path == RenderPath::Automatic ? chosenRenderPath() == kelvo::video::RenderPath::Gpu
                                                     : false;
    if (gpu) {
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
    m_frameIsNew = m_frame.isValid();
    update();
}

bool VideoView::canBeSeen() const
{
    if (!isVisible()) {
        return false;
    }
    const QWindow *handle = window()->windowHandle();
    return handle == nullptr || handle->isExposed();
}

void VideoView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    watchWindow();
    noteVisibility();
}

void VideoView::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    noteVisibility();
}

void VideoView::noteVisibility()
{
    const bool seen = canBeSeen();
    if (seen != m_seen) {
        m_seen = seen;
        emit visibilityChanged(seen);
    }
}

void VideoView::watchWindow()
{
    QWindow *handle = window()->windowHandle();
    if (handle == m_watchedWindow) {
        return;
    }
    if (m_watchedWindow) {
        m_watchedWindow->removeEventFilter(this);
    }
    m_watchedWindow = handle;
    if (handle) {
        handle->installEventFilter(this);
    }
}

bool VideoView::eventFilter(QObject *watched, QEvent *event)
{
    // A frame that came while the window was minimised or covered is drawn
    // once it can be seen again.
    if (watched == m_watchedWindow && event->type() == QEvent::Expose) {
        if (m_frameWaiting && canBeSeen()) {
            m_frameWaiting = false;
            update();
        }
        noteVisibility();
    }
    return QWidget::eventFilter(watched, event);
}

void VideoView::presentFrame(const VideoFrame &frame)
{
    if (!isConvertible(frame)) {
        return;
    }
    const QSize before = frameSize();
    m_frame = frame;
    m_frameIsNew = true;
    m_cpuImageStale = true;
    if (frameSize() != before) {
        layOutChildren();
    }
    // Under a still picture, or out of sight, the frame waits: a repaint now
    // would cost a conversion nobody sees. The GPU surface converts only
    // when it paints, which a window out of sight does not.
    if (!m_still.isNull()) {
        m_frameWaiting = true;
    } else if (m_gl) {
        m_gl->setFrame(frame);
    } else if (!canBeSeen()) {
        m_frameWaiting = true;
    } else {
        update();
    }
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
        if (m_still.isNull() && m_frameWaiting && m_frame.isValid()) {
            m_gl->setFrame(m_frame);
        }
    }
    if (m_still.isNull()) {
        m_frameWaiting = false;
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

void VideoView::frameDrawn(std::int64_t timestampNs)
{
    ++m_framesDrawn;
    ++m_conversions;
    if (FrameTrace::instance().isEnabled()) {
        // Queued, so that it runs once this paint has reached the screen.
        QMetaObject::invokeMethod(
            this, [timestampNs] { FrameTrace::instance().noteShown(timestampNs); }, Qt::QueuedConnection);
    }
}

void VideoView::noteConverted()
{
    if (m_frameIsNew) {
        m_frameIsNew = false;
        frameDrawn(m_frame.timestampNs);
    } else {
        ++m_conversions;
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

bool VideoView::paintIntoBackingStore(QPainter &painter, const QRegion &region, const AxisAlignedPlacement &at)
{
    // Raster painting of a window lands in its backing store's image: write
    // the picture there, in the part of the view this paint may touch,
    // instead of into a picture of our own that the painter would copy.
    QPaintEngine *engine = painter.paintEngine();
    QPaintDevice *device = engine ? engine->paintDevice() : nullptr;
    if (device == nullptr || device->devType() != QInternal::Image) {
        return false;
    }
    auto *image = static_cast<QImage *>(device);
    const QTransform toDevice = painter.deviceTransform();
    if (!holdsRgb32Words(image->format()) || image->devicePixelRatio() != 1.0 ||
        toDevice.type() > QTransform::TxTranslate || toDevice.dx() != std::round(toDevice.dx()) ||
        toDevice.dy() != std::round(toDevice.dy())) {
        return false;
    }
    const QPoint offset(int(toDevice.dx()), int(toDevice.dy()));
    QRegion area = region.translated(offset) & image->rect();
    if (const QRegion clip = engine->systemClip(); !clip.isEmpty()) {
        area &= clip;
    }
    auto *bits = image->bits();
    for (const QRect &r : area) {
        auto *target = reinterpret_cast<std::uint32_t *>(bits + std::ptrdiff_t(r.y()) * image->bytesPerLine()) + r.x();
        const QRect inView = r.translated(-offset);
        m_scaler.render(m_frame, m_curve.get(), at, {inView.x(), inView.y(), inView.width(), inView.height()}, target,
                        image->bytesPerLine());
    }
    return true;
}

void VideoView::paintThroughImage(QPainter &painter, const QRegion &region, const AxisAlignedPlacement &at)
{
    if (m_viewImage.size() != size()) {
        m_viewImage = QImage(size(), QImage::Format_RGB32);
    }
    for (const QRect &r : region) {
        auto *target = reinterpret_cast<std::uint32_t *>(m_viewImage.scanLine(r.y())) + r.x();
        m_scaler.render(m_frame, m_curve.get(), at, {r.x(), r.y(), r.width(), r.height()}, target,
                        m_viewImage.bytesPerLine());
        painter.drawImage(r.topLeft(), m_viewImage, r);
    }
}

void VideoView::paintTurned(QPainter &painter)
{
    // A quarter turn makes view rows frame columns: convert the whole frame
    // and let the painter turn and scale it.
    if (m_cpuImageStale) {
        if (m_cpuImage.size() != QSize(m_frame.width, m_frame.height)) {
            m_cpuImage = QImage(m_frame.width, m_frame.height, QImage::Format_RGB32);
        }
        convertFrameToRgb32(m_frame, reinterpret_cast<std::uint32_t *>(m_cpuImage.bits()), m_cpuImage.bytesPerLine(),
                            m_curve.get());
        m_cpuImageStale = false;
        noteConverted();
    }
    painter.fillRect(rect(), Qt::black);
    drawPicture(painter,
                toQTransform(framePresentationTransform(m_frame.width, m_frame.height, m_orientation, m_mirrored,
                                                        SizeD{double(width()), double(height())}, m_filters)),
                m_cpuImage);
}

void VideoView::paintLive(QPainter &painter, const QRegion &region)
{
    const AffineTransform transform = framePresentationTransform(
        m_frame.width, m_frame.height, m_orientation, m_mirrored, SizeD{double(width()), double(height())}, m_filters);
    const std::optional<AxisAlignedPlacement> at = axisAlignedPlacement(transform);
    if (!at) {
        paintTurned(painter);
        return;
    }
    if (!paintIntoBackingStore(painter, region, *at)) {
        paintThroughImage(painter, region, *at);
    }
    noteConverted();
}

void VideoView::paintEvent(QPaintEvent *event)
{
    QPainter painter(this);
    const QRegion region = event->region() & rect();
    if (!m_still.isNull()) {
        painter.fillRect(rect(), Qt::black);
        paintStill(painter);
        return;
    }
    if (m_gl || !m_frame.isValid() || region.isEmpty()) {
        painter.fillRect(rect(), Qt::black);
        return;
    }
    paintLive(painter, region);
}

} // namespace kelvo::ui
