#include "ui/LineOverlayView.h"

#include "ui/MenuTags.h"

#include <QAction>
#include <QApplication>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QNativeGestureEvent>
#include <QPainter>
#include <QWheelEvent>
#include <QWindow>

#include <algorithm>
#include <cmath>

namespace kelvo::ui {

using guides::GuideColor;
using guides::GuidePoint;
using guides::GuideRect;
using guides::OverlayDrawing;

namespace {

QColor toQColor(GuideColor color)
{
    return color == GuideColor::White ? QColor(Qt::white) : QColor(Qt::black);
}

QMenu *submenuOf(QAction *item)
{
    return item ? item->menu() : nullptr;
}

} // namespace

LineOverlayView::LineOverlayView(QWidget *parent) : QWidget(parent), m_model(this)
{
    initPrivateVars();
}

LineOverlayView::LineOverlayView(const QRect &frame, QWidget *parent) : QWidget(parent), m_model(this)
{
    setGeometry(frame);
    initPrivateVars();
}

LineOverlayView::LineOverlayView(const QRect &frame, guides::LineOverlayDelegate *mainWindow, QWidget *parent)
    : QWidget(parent), m_model(this)
{
    setGeometry(frame);
    m_model.setMainWindowDelegate(mainWindow);
    initPrivateVars();
}

LineOverlayView::~LineOverlayView()
{
    // The model must not call back into a half-destroyed widget.
    m_model.setSurface(nullptr);
}

void LineOverlayView::initPrivateVars()
{
    setObjectName(QStringLiteral("lineOverlayView"));
    // The picture shows through everywhere the overlay draws nothing.
    setAutoFillBackground(false);
    setAttribute(Qt::WA_TranslucentBackground);
    model().initPrivateVars();
}

guides::ReadingGuideModel &LineOverlayView::model() const
{
    m_model.setBounds(width(), height());
    return m_model;
}

void LineOverlayView::setMainMenuBar(QMenuBar *menuBar)
{
    m_mainMenuBar = menuBar;
}

GuidePoint LineOverlayView::toGuidePoint(QPointF widgetPosition) const
{
    return GuidePoint{widgetPosition.x(), height() - widgetPosition.y()};
}

QMenuBar *LineOverlayView::guideMenuBar() const
{
    if (m_mainMenuBar)
        return m_mainMenuBar;
    // menuWidget() does not create a menu bar the way menuBar() would.
    if (auto *mainWindow = qobject_cast<QMainWindow *>(window()))
        return qobject_cast<QMenuBar *>(mainWindow->menuWidget());
    return nullptr;
}

void LineOverlayView::setNeedsDisplay()
{
    update();
}

void LineOverlayView::applyReadingGuideMenuState(const guides::ReadingGuideMenuState &state)
{
    QMenu *guideMenu = submenuOf(findTopLevelItem(guideMenuBar(), guides::kGuideMenuTag));
    if (!guideMenu)
        return;
    for (const guides::GuideMenuItemUpdate &update : state.items) {
        QMenu *menu = update.parentTag == 0 ? guideMenu : submenuOf(findItemInMenu(guideMenu, update.parentTag));
        QAction *item = findItemInMenu(menu, update.tag);
        if (!item)
            continue;
        if (update.enabled)
            item->setEnabled(*update.enabled);
        if (update.checked) {
            item->setCheckable(true);
            item->setChecked(*update.checked);
        }
    }
}

void LineOverlayView::moveWindowFrameBy(double dx, double dyUp)
{
    // Qt's y grows downward. Whole pixels move now, the rest waits, so slow
    // sub-pixel pointer motion on high-resolution screens is not lost. The
    // target is kept here because a top-level window's reported position
    // may lag behind a move until the windowing system confirms it.
    // Bounded far beyond any screen, so that an absurd delta cannot
    // overflow the integer window position.
    constexpr double kFarOffScreen = 1e6;
    m_pendingWindowMove += QPointF(dx, -dyUp);
    m_pendingWindowMove = QPointF(std::clamp(m_pendingWindowMove.x(), -kFarOffScreen, kFarOffScreen),
                                  std::clamp(m_pendingWindowMove.y(), -kFarOffScreen, kFarOffScreen));
    const QPoint whole(static_cast<int>(std::trunc(m_pendingWindowMove.x())),
                       static_cast<int>(std::trunc(m_pendingWindowMove.y())));
    if (whole.isNull())
        return;
    m_pendingWindowMove -= whole;
    if (!m_windowMoveTarget)
        m_windowMoveTarget = window()->pos();
    *m_windowMoveTarget += whole;
    window()->move(*m_windowMoveTarget);
}

void LineOverlayView::paintEvent(QPaintEvent *)
{
    const OverlayDrawing drawing = model().drawing();
    if (drawing.kind == OverlayDrawing::Kind::Nothing)
        return;

    const double h = height();
    auto toQt = [h](GuidePoint p) { return QPointF(p.x, h - p.y); };
    auto rectToQt = [h](const GuideRect &r) { return QRectF(r.x, h - r.y - r.height, r.width, r.height); };

    QPainter painter(this);
    // Crisp edges: the guides are for people who see poorly, and the masks
    // must meet the reading band exactly, without a grey seam.
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setClipRect(rect());

    switch (drawing.kind) {
    case OverlayDrawing::Kind::LocatorFrame:
        painter.setPen(QPen(toQColor(drawing.color), drawing.strokeWidth, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(rectToQt(drawing.locatorFrame));
        break;
    case OverlayDrawing::Kind::Lines:
        painter.setPen(QPen(toQColor(drawing.color), drawing.strokeWidth, Qt::SolidLine, Qt::FlatCap));
        painter.drawLine(toQt(drawing.lines[0]), toQt(drawing.lines[1]));
        painter.drawLine(toQt(drawing.lines[2]), toQt(drawing.lines[3]));
        break;
    case OverlayDrawing::Kind::Window:
        // Aliased fills already end on whole pixels; the outline a smoothing
        // renderer needs to close seams would reach into the reading band.
        for (const GuideRect &mask : drawing.masks)
            painter.fillRect(rectToQt(mask), toQColor(drawing.color));
        break;
    case OverlayDrawing::Kind::Nothing:
        break;
    }
}

bool LineOverlayView::event(QEvent *event)
{
    if (event->type() != QEvent::NativeGesture)
        return QWidget::event(event);

    auto *gesture = static_cast<QNativeGestureEvent *>(event);
    switch (gesture->gestureType()) {
    case Qt::BeginNativeGesture:
        beginGesture();
        // A gesture may turn out to be a pinch: the controller sees the
        // beginning too.
        event->ignore();
        return false;
    case Qt::RotateNativeGesture:
        rotateWithDegrees(gesture->value());
        event->accept();
        return true;
    case Qt::EndNativeGesture:
        endGesture();
        event->ignore();
        return false;
    default:
        return QWidget::event(event);
    }
}

void LineOverlayView::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    m_lastGlobalPosition = event->globalPosition();
    m_systemMoveActive = false;
    m_pendingWindowMove = {};
    m_windowMoveTarget.reset();
    model().mouseDown(toGuidePoint(event->position()));
    if (m_model.mouseDragMode() == guides::kMouseDragWindow) {
        // Where the windowing system can move the window itself (Wayland
        // allows nothing else), let it; otherwise the drag steps move it.
        QWindow *handle = window()->windowHandle();
        m_systemMoveActive = handle && handle->startSystemMove();
    }
    event->accept();
}

void LineOverlayView::mouseMoveEvent(QMouseEvent *event)
{
    if (m_model.mouseDragMode() == guides::kMouseDragNone || !(event->buttons() & Qt::LeftButton)) {
        QWidget::mouseMoveEvent(event);
        return;
    }
    const QPointF delta = event->globalPosition() - m_lastGlobalPosition;
    m_lastGlobalPosition = event->globalPosition();
    if (!m_systemMoveActive)
        handleContinuingMouseDragWithDeltaX(delta.x(), delta.y());
    event->accept();
}

void LineOverlayView::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    m_systemMoveActive = false;
    m_windowMoveTarget.reset();
    model().mouseUp();
    QWidget::mouseReleaseEvent(event);
}

void LineOverlayView::wheelEvent(QWheelEvent *event)
{
    if (horizontalReadingGuideMode() == guides::kReadingGuideModeNone &&
        verticalReadingGuideMode() == guides::kReadingGuideModeNone) {
        event->ignore();
        return;
    }
    // Trackpads report pixels; a notched wheel reports eighths of a degree,
    // 120 to a notch, which count as the desktop's lines per notch.
    QPointF delta = event->pixelDelta();
    if (delta.isNull())
        delta = QPointF(event->angleDelta()) / 120.0 * QApplication::wheelScrollLines();
    model().scrollWheel(delta.x(), delta.y(), event->inverted());
    event->accept();
}

} // namespace kelvo::ui
