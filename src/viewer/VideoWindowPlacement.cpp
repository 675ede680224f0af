#include "viewer/VideoWindowPlacement.h"

#include "common/SystemLog.h"
#include "ui/CustomSlider.h"
#include "ui/DraggableImageView.h"
#include "ui/DraggableLevelIndicator.h"
#include "ui/DraggableView.h"
#include "ui/DraggableWindow.h"
#include "ui/MainMenu.h"
#include "ui/UnscrollableScrollView.h"
#include "ui/VideoView.h"
#include "viewer/geometry/OverlayLayout.h"
#include "viewer/geometry/ScreenGeometry.h"

#include <QApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QLayout>
#include <QMargins>
#include <QMouseEvent>
#include <QPainterPath>
#include <QRegion>
#include <QResizeEvent>
#include <QScreen>
#include <QVariantAnimation>
#include <QWindow>

#include <cmath>

namespace kelvo::viewer {

using geometry::DockEdge;
using geometry::Rect;

namespace {

// How long a user's resize or move must rest before it counts as ended: the
// window system reports no end of its own.
constexpr int kLiveResizeSettleMs = 300;
constexpr int kMoveSettleMs = 250;
// The on-screen panels' corner radius.
constexpr double kPanelCornerRadius = 15;
// How far a window may sit from an edge and still count as docked there:
// window managers round frame positions.
constexpr double kDockTolerance = 2;

double primaryScreenFlipLine()
{
    const QScreen *primary = QGuiApplication::primaryScreen();
    return primary ? geometry::screenFlipLine(primary->geometry()) : 0;
}

QRect toQtRect(const geometry::QtRect &q)
{
    const int left = int(std::lround(q.left));
    const int top = int(std::lround(q.top));
    return QRect(left, top, int(std::lround(q.left + q.width)) - left, int(std::lround(q.top + q.height)) - top);
}

void roundCorners(QWidget *widget)
{
    QPainterPath path;
    path.addRoundedRect(QRectF(widget->rect()), kPanelCornerRadius, kPanelCornerRadius);
    widget->setMask(QRegion(path.toFillPolygon().toPolygon()));
}

// Sees every mouse move of the application while full screen lasts.
class PointerMotionFilter : public QObject {
public:
    explicit PointerMotionFilter(std::function<void()> moved) : m_moved(std::move(moved)) {}

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::MouseMove || event->type() == QEvent::TabletMove)
            m_moved();
        return false;
    }

private:
    std::function<void()> m_moved;
};

} // namespace

VideoWindowPlacement::VideoWindowPlacement(const ui::MainWindowOutlets &o, VideoWindowHost &host, QObject *parent)
    : QObject(parent), m_host(host), m_window(o.videoWindow), m_container(o.videoContainer),
      m_lineOverlayView(o.lineOverlayView), m_batteryLevelIndicatorView(o.batteryLevelIndicatorView),
      m_recordOverlayView(o.recordOverlayView), m_audioLevelIndicator(o.audioLevelIndicator),
      m_audioGainControl(o.audioGainControl), m_OSDScrollView(o.OSDScrollView), m_OSDAboutBoxView(o.OSDAboutBoxView)
{
    m_timers.singleShot = [this](int delayMs, std::function<void()> task) {
        QTimer::singleShot(delayMs, this, std::move(task));
    };
    m_timers.animate = [this](const Rect &from, const Rect &to, int durationMs, std::function<void(const Rect &)> step,
                              std::function<void()> done) {
        auto *animation = new QVariantAnimation(this);
        animation->setDuration(durationMs);
        animation->setStartValue(QRectF(from.x, from.y, from.width, from.height));
        animation->setEndValue(QRectF(to.x, to.y, to.width, to.height));
        animation->setEasingCurve(QEasingCurve::InOutQuad);
        connect(animation, &QVariantAnimation::valueChanged, this, [step](const QVariant &value) {
            const QRectF r = value.toRectF();
            step(Rect{r.x(), r.y(), r.width(), r.height()});
        });
        connect(animation, &QVariantAnimation::finished, this, std::move(done));
        animation->start(QAbstractAnimation::DeleteWhenStopped);
    };

    m_fullScreenCursorTimer.setInterval(geometry::kIdlePointerTickMs);
    connect(&m_fullScreenCursorTimer, &QTimer::timeout, this, &VideoWindowPlacement::mouseIdleTimerHandler);
    m_liveResizeEnd.setSingleShot(true);
    m_liveResizeEnd.setInterval(kLiveResizeSettleMs);
    connect(&m_liveResizeEnd, &QTimer::timeout, this, &VideoWindowPlacement::windowDidEndLiveResize);
    m_moveEnd.setSingleShot(true);
    m_moveEnd.setInterval(kMoveSettleMs);
    connect(&m_moveEnd, &QTimer::timeout, this, &VideoWindowPlacement::windowDidMove);

    if (!m_window)
        return;
    m_window->setFullScreenFrameProvider([this](QScreen *screen) -> std::optional<QRect> {
        if (fullScreenFrameInForce())
            return toQtScreen(getFullScreenRectForScreen(screen));
        return std::nullopt;
    });
    connect(m_window, &ui::DraggableWindow::windowWillClose, this, &VideoWindowPlacement::windowWillClose);
    // A camera that changes its picture size changes the window's shape.
    if (o.previewView)
        connect(o.previewView, &ui::VideoView::frameSizeChanged, this, &VideoWindowPlacement::setWindowAspectRatio);
    m_window->installEventFilter(this);
    if (m_container)
        m_container->installEventFilter(this);
    for (QWidget *panel : {m_OSDScrollView.data(), m_OSDAboutBoxView.data()}) {
        if (panel)
            panel->installEventFilter(this);
    }
    captureAnchoredControls();
}

VideoWindowPlacement::~VideoWindowPlacement()
{
    acceptMouseMovedEvents(false);
    showPointer();
    if (m_window) {
        m_window->setFullScreenFrameProvider({});
        m_window->removeEventFilter(this);
    }
}

// ---- Coordinates ----------------------------------------------------------------------

Rect VideoWindowPlacement::frame() const
{
    if (m_fullScreenPictureFrame)
        return *m_fullScreenPictureFrame;
    return m_window ? fromQtScreen(m_window->geometry()) : Rect{};
}

void VideoWindowPlacement::setFrame(const Rect &frame)
{
    if (!m_window)
        return;
    const Rect placed = fullScreenFrameInForce() ? frame : keptOnScreen(frame);
    m_window->setGeometry(m_window->constrainFrameRect(toQtScreen(placed)));
}

bool VideoWindowPlacement::fullScreenFrameInForce() const
{
    return m_transitioningToFullScreen || (m_isFullScreen && !m_transitioningFromFullScreen);
}

Rect VideoWindowPlacement::keptOnScreen(const Rect &clientFrame)
{
    // The window manager's title bar lies outside the client area, above the
    // menu bar: the decorated window is what must be reachable.
    const QMargins m = frameMargins();
    const Rect outer{clientFrame.x - m.left(), clientFrame.y - m.bottom(), clientFrame.width + m.left() + m.right(),
                     clientFrame.height + m.top() + m.bottom()};
    const double chrome = m.top() + m.bottom() + m_window->titleBarHeightForWidth(int(std::lround(clientFrame.width)));
    std::vector<Rect> screens;
    const QScreen *primary = QGuiApplication::primaryScreen();
    if (primary)
        screens.push_back(fromQtScreen(primary->availableGeometry()));
    for (const QScreen *screen : QGuiApplication::screens()) {
        if (screen != primary)
            screens.push_back(fromQtScreen(screen->availableGeometry()));
    }
    const Rect kept = geometry::frameKeptOnScreen(outer, screens, chrome);
    return {kept.x + m.left(), kept.y + m.bottom(), kept.width - m.left() - m.right(),
            kept.height - m.top() - m.bottom()};
}

Rect VideoWindowPlacement::fromQtScreen(const QRect &rect)
{
    return geometry::fromQtScreenRect(rect, primaryScreenFlipLine());
}

QRect VideoWindowPlacement::toQtScreen(const Rect &rect)
{
    return geometry::toQtScreenRect(rect, primaryScreenFlipLine());
}

Rect VideoWindowPlacement::pictureFrameOf(const Rect &windowFrame) const
{
    // The menu bar sits at the top; y-up keeps the bottom edge.
    const int chrome = m_window ? m_window->titleBarHeightForWidth(int(std::lround(windowFrame.width))) : 0;
    return {windowFrame.x, windowFrame.y, windowFrame.width, std::max(0.0, windowFrame.height - chrome)};
}

QRect VideoWindowPlacement::toChild(const Rect &rect) const
{
    return toQtRect(geometry::toQtRect(rect, m_container ? m_container->height() : 0));
}

bool VideoWindowPlacement::fullScreenOrTransitioning() const
{
    return m_isFullScreen || m_transitioningToFullScreen || m_transitioningFromFullScreen;
}

// ---- Start-up ------------------------------------------------------------------------------

void VideoWindowPlacement::prepareWindow()
{
    // Qt keeps no automatic list of windows in a menu, so there is nothing
    // to keep the video window out of.
    setViewOrder();
    for (QWidget *panel : {m_OSDScrollView.data(), m_OSDAboutBoxView.data()}) {
        if (panel)
            roundCorners(panel);
    }
    createAboutBoxBlurView();
}

void VideoWindowPlacement::setViewOrder()
{
    // Raising each in turn leaves them in this order above the picture (and
    // above the frozen picture, which lies directly on the live one).
    for (QWidget *view : {static_cast<QWidget *>(m_aboutBoxBlurView.data()), m_OSDAboutBoxView.data(),
                          m_lineOverlayView.data(), m_batteryLevelIndicatorView.data(), m_recordOverlayView.data(),
                          m_audioLevelIndicator.data(), m_audioGainControl.data(), m_OSDScrollView.data()}) {
        if (view && m_container && view->parentWidget() == m_container)
            view->raise();
    }
}

void VideoWindowPlacement::createAboutBoxBlurView()
{
    if (!m_container || m_aboutBoxBlurView)
        return;
    auto *blur = new ui::DraggableView(m_container);
    blur->setObjectName(QStringLiteral("OSDAboutBoxBlurView"));
    blur->setGeometry(toChild({-1, -1, 0, 0}));
    // The backdrop darkens the picture behind the about box; the box itself
    // then draws no background of its own.
    blur->setAutoFillBackground(true);
    QPalette backdrop = blur->palette();
    backdrop.setColor(QPalette::Window, QColor(0, 0, 0, 170));
    blur->setPalette(backdrop);
    if (m_OSDAboutBoxView) {
        m_OSDAboutBoxView->setAutoFillBackground(false);
        blur->stackUnder(m_OSDAboutBoxView);
    }
    blur->hide();
    m_aboutBoxBlurView = blur;
}

void VideoWindowPlacement::captureAnchoredControls()
{
    if (!m_window || !m_container)
        return;
    // The controls' designed places are only meaningful against a laid-out
    // picture; a window not yet shown has not been laid out.
    if (QLayout *windowLayout = m_window->layout())
        windowLayout->activate();
    m_baseWindowRect = frame();
    const double height = m_container->height();
    // The meter and the gain control hug the lower left edge, small and
    // see-through, where they hide the least of the page being read.
    if (m_audioLevelIndicator)
        m_audioLevelIndicator->setGeometry(0, int(height) - 6, 96, 6);
    if (m_audioGainControl)
        m_audioGainControl->setGeometry(0, int(height) - 6 - 64, 14, 64);
    auto capture = [&](QWidget *widget, bool fromTop, bool fromRight) {
        if (!widget)
            return;
        const QRect g = widget->geometry();
        const Rect base =
            geometry::fromQtRect({double(g.x()), double(g.y()), double(g.width()), double(g.height())}, height);
        m_anchored.push_back({widget, base, fromTop, fromRight});
    };
    capture(m_audioLevelIndicator, false, false);
    capture(m_audioGainControl, false, false);
    capture(m_recordOverlayView, true, false);
    capture(m_batteryLevelIndicatorView, false, true);
}

// ---- Shape ------------------------------------------------------------------------------------

void VideoWindowPlacement::setWindowAspectRatio()
{
    if (fullScreenOrTransitioning() || !m_window)
        return;
    const QSizeF size = m_host.videoDimensionsWithRotation();
    const geometry::Size picture{size.width(), size.height()};
    if (geometry::aspectRatio(picture) == 0) {
        if (m_host.hasSelectedCamera())
            systemLog("No image height or width.\n");
        // One retry at a time: every call made meanwhile would otherwise
        // add its own, and each would list the devices again.
        if (m_pictureSizeRetryPending)
            return;
        m_pictureSizeRetryPending = true;
        QPointer<VideoWindowPlacement> self(this);
        m_timers.singleShot(geometry::kPictureSizeRetryMs, [self] {
            if (!self)
                return;
            self->m_pictureSizeRetryPending = false;
            self->m_host.refreshDevices();
        });
        return;
    }

    const geometry::Size minimum = geometry::minimumWindowSize(picture);
    const QSize minimumSize(int(std::ceil(minimum.width)), int(std::ceil(minimum.height)));
    Rect current = frame();
    // Qt grows a window below its minimum size at once, which would undo the
    // fitted height; start from a width the minimum allows.
    if (current.width < minimumSize.width())
        current =
            geometry::adjustFrameRectBasedOnWindowPosition(current, {double(minimumSize.width()), current.height});
    const int chrome = m_window->titleBarHeightForWidth(int(std::lround(current.width)));
    Rect fitted = *geometry::frameFittedToPicture(current, picture, chrome);
    // A frame that already has the picture's shape to within the rounding to
    // whole pixels (a turned one, for instance) stays as it is: refitting
    // would move its bottom edge by a pixel and lose the size it was given.
    if (std::abs(fitted.height - current.height) < 1)
        fitted = current;

    // A maximised window keeps the size the window manager gave it until the
    // user returns it to normal.
    if (!m_window->isZoomed()) {
        const geometry::DockingInfo docked = isDocked();
        windowDidResize();
        setFrame(fitted);
        reDockWithDockInfo(docked);
    }
    m_window->setMinimumSize(minimumSize);
}

void VideoWindowPlacement::rotateWindow()
{
    if (fullScreenOrTransitioning() || !m_window)
        return;
    const geometry::DockingInfo docked = isDocked();
    const Rect current = frame();
    // Turning the last turned frame again would add the menu bar's height
    // and the rounding to whole pixels on every turn; a window resized some
    // other way since the last turn starts a new series instead.
    if (!m_turning || m_window->size() != m_turning->windowSize) {
        const int chrome = m_window->titleBarHeightForWidth(int(std::lround(current.width)));
        m_turning = Turning{{current.width, std::max(0.0, current.height - chrome)}, false, {}};
    }
    const geometry::Size area = m_turning->pictureArea;
    const geometry::Size before = m_turning->turned ? geometry::Size{area.height, area.width} : area;
    m_turning->turned = !m_turning->turned;
    const int chrome = m_window->titleBarHeightForWidth(int(std::lround(before.height)));
    // The minimum turns with the window, or Qt would hold the new width up.
    m_window->setMinimumSize(m_window->minimumSize().transposed());
    setFrame(geometry::rotatedFrame(current, before, chrome));
    reDockWithDockInfo(docked);
    m_turning->windowSize = m_window->size();
}

// ---- Docking --------------------------------------------------------------------------------------

void VideoWindowPlacement::reDockWithDockInfo(geometry::DockingInfo dockInfo)
{
    if (m_isFullScreen)
        return;
    for (DockEdge edge : geometry::reDockOrder(dockInfo))
        dockTo(edge);
}

void VideoWindowPlacement::moveWindowToTop()
{
    moveWindowTo(DockEdge::Top);
}

void VideoWindowPlacement::moveWindowToBottom()
{
    moveWindowTo(DockEdge::Bottom);
}

void VideoWindowPlacement::moveWindowToLeft()
{
    moveWindowTo(DockEdge::Left);
}

void VideoWindowPlacement::moveWindowToRight()
{
    moveWindowTo(DockEdge::Right);
}

void VideoWindowPlacement::moveWindowTo(DockEdge edge)
{
    if (fullScreenOrTransitioning()) {
        m_host.beep();
        return;
    }
    dockTo(edge);
    m_host.savePreferences();
}

void VideoWindowPlacement::dockTo(DockEdge edge)
{
    const QScreen *main = QGuiApplication::primaryScreen();
    if (!m_window || !main)
        return;
    // The whole window, decorations included, goes against the edge. The
    // window is placed by its client area: the window manager answers a
    // frame position with margins it may not have told Qt yet (right after
    // full screen, for one).
    const QMargins margins = frameMargins();
    const QRect client = m_window->geometry();
    const Rect visible = fromQtScreen(main->availableGeometry());
    const Rect outer = fromQtScreen(client.marginsAdded(margins));
    const QRect moved = toQtScreen(geometry::dockedFrame(edge, outer, visible)).marginsRemoved(margins);
    m_window->setGeometry(QRect(moved.topLeft(), client.size()));
    m_docking.dock(edge);
}

QMargins VideoWindowPlacement::frameMargins()
{
    // Qt learns the decorations only after the window manager has drawn
    // them, and has none in full screen: keep the last ones seen.
    if (m_window && m_window->windowHandle() && !(m_window->windowState() & Qt::WindowFullScreen)) {
        const QMargins margins = m_window->windowHandle()->frameMargins();
        if (!margins.isNull())
            m_frameMargins = margins;
    }
    return m_frameMargins;
}

// ---- Full screen ------------------------------------------------------------------------------------

void VideoWindowPlacement::enterExitFullScreen()
{
    if (!m_window || m_transitioningToFullScreen || m_transitioningFromFullScreen)
        return;
    if (m_isFullScreen) {
        windowWillExitFullScreen();
        startCustomAnimationToExitFullScreen();
    } else {
        m_screenForFullScreenMode = m_window->screen() ? m_window->screen() : QGuiApplication::primaryScreen();
        windowWillEnterFullScreen();
        startCustomAnimationToEnterFullScreen(geometry::kFullScreenEnterAnimationMs);
    }
}

QScreen *VideoWindowPlacement::fullScreenScreen() const
{
    return m_screenForFullScreenMode ? m_screenForFullScreenMode.data() : QGuiApplication::primaryScreen();
}

double VideoWindowPlacement::pictureAspectRatio() const
{
    const QSizeF size = m_host.videoDimensionsWithRotation();
    const double r = geometry::aspectRatio({size.width(), size.height()});
    if (r > 0 || !m_container)
        return r;
    // Before the camera reports a size, the picture keeps the shape it has.
    return geometry::aspectRatio({double(m_container->width()), double(m_container->height())});
}

Rect VideoWindowPlacement::getFullScreenRectForScreen(QScreen *screen) const
{
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (!screen)
        return {};
    return getFullScreenRectForScreenFrame(fromQtScreen(screen->geometry()));
}

Rect VideoWindowPlacement::getFullScreenRectForScreenFrame(const Rect &screenFrame) const
{
    return geometry::fullScreenRectForScreen(screenFrame, pictureAspectRatio());
}

void VideoWindowPlacement::applyFullScreenPictureFrame(const Rect &rect)
{
    QScreen *screen = fullScreenScreen();
    if (!m_window || !screen)
        return;
    const QRect onScreen = m_window->constrainFrameRect(toQtScreen(rect), screen);
    m_fullScreenPictureFrame = fromQtScreen(onScreen);
    // The window covers the screen; the picture is placed relative to it.
    m_window->setPictureGeometry(onScreen.translated(-screen->geometry().topLeft()));
}

void VideoWindowPlacement::windowWillEnterFullScreen()
{
    m_transitioningToFullScreen = true;
    m_windowFrameBeforeEnteringFullScreenMode = frame();
}

void VideoWindowPlacement::startCustomAnimationToEnterFullScreen(int durationMs)
{
    m_windowFrameBeforeEnteringFullScreenMode = frame();
    m_window->setAnimating(true);
    const Rect target = getFullScreenRectForScreen(fullScreenScreen());
    const Rect from = pictureFrameOf(m_windowFrameBeforeEnteringFullScreenMode);
    // The picture starts where it was and grows to fill the screen.
    applyFullScreenPictureFrame(from);
    m_window->showFullScreen();
    QPointer<VideoWindowPlacement> self(this);
    m_timers.animate(
        from, target, durationMs,
        [self](const Rect &step) {
            if (self)
                self->applyFullScreenPictureFrame(step);
        },
        [self, target] {
            if (!self || !self->m_window)
                return;
            self->m_window->setAnimating(false);
            self->applyFullScreenPictureFrame(target);
            self->windowDidEnterFullScreen();
        });
}

void VideoWindowPlacement::windowDidEnterFullScreen()
{
    m_isFullScreen = true;
    m_transitioningToFullScreen = false;
    acceptMouseMovedEvents(true);
    if (m_container)
        m_container->setFocus(Qt::OtherFocusReason);
    m_window->makeKeyAndOrderFront();
    windowDidResize();
    startFullScreenIdleTimer();
    m_host.fullScreenDidChange(true);
    if (m_showOSDAfterEnteringFullScreen) {
        m_showOSDAfterEnteringFullScreen = false;
        m_host.showHideOnScreenDisplay();
    }
}

void VideoWindowPlacement::windowWillExitFullScreen()
{
    m_host.hideOnScreenDisplay();
    acceptMouseMovedEvents(false);
    // The pointer must not stay hidden, nor hide later, once the window is
    // back on the desktop.
    stopFullScreenIdleTimer();
    showPointer();
    m_transitioningFromFullScreen = true;
}

void VideoWindowPlacement::startCustomAnimationToExitFullScreen()
{
    const Rect from = frame();
    const Rect to = pictureFrameOf(m_windowFrameBeforeEnteringFullScreenMode);
    QPointer<VideoWindowPlacement> self(this);
    m_timers.animate(
        from, to, geometry::kFullScreenExitAnimationMs,
        [self](const Rect &step) {
            if (self)
                self->applyFullScreenPictureFrame(step);
        },
        [self] {
            if (!self || !self->m_window)
                return;
            self->m_fullScreenPictureFrame.reset();
            self->m_window->setPictureGeometry(std::nullopt);
            self->m_window->showNormal();
            self->setFrame(self->m_windowFrameBeforeEnteringFullScreenMode);
            self->windowDidExitFullScreen();
        });
}

void VideoWindowPlacement::windowDidExitFullScreen()
{
    const geometry::DockingInfo docked = isDocked();
    m_isFullScreen = false;
    m_transitioningToFullScreen = false;
    m_transitioningFromFullScreen = false;
    windowDidResize();
    reDockWithDockInfo(docked);
    // A quarter turn made in full screen leaves the window it comes back to
    // across the picture; turn the window too, as a turn in the window
    // would have, so that whole turns still give back its size.
    const QSizeF picture = m_host.videoDimensionsWithRotation();
    const Rect restored = pictureFrameOf(frame());
    if (picture.width() > 0 && picture.height() > 0 && restored.width > 0 && restored.height > 0 &&
        (picture.width() > picture.height()) != (restored.width > restored.height))
        rotateWindow();
    m_host.fullScreenDidChange(false);
}

// ---- Idle pointer ----------------------------------------------------------------------------------------

void VideoWindowPlacement::startFullScreenIdleTimer()
{
    std::lock_guard lock(m_idleTimerMutex);
    m_halfSecondsSinceLastMove = 0;
    m_fullScreenCursorTimer.stop();
    m_fullScreenCursorTimer.start();
}

void VideoWindowPlacement::stopFullScreenIdleTimer()
{
    std::lock_guard lock(m_idleTimerMutex);
    m_fullScreenCursorTimer.stop();
    m_halfSecondsSinceLastMove = 0;
}

void VideoWindowPlacement::mouseIdleTimerHandler()
{
    bool hide = false;
    {
        std::lock_guard lock(m_idleTimerMutex);
        const std::int32_t before = m_halfSecondsSinceLastMove++;
        hide = before >= geometry::kIdlePointerTicksBeforeHiding;
    }
    if (hide) {
        stopFullScreenIdleTimer();
        hidePointerUntilMouseMoves();
    }
}

void VideoWindowPlacement::mouseMoved()
{
    // Outside full screen the pointer is never hidden, so there is nothing
    // to count.
    if (!m_isFullScreen)
        return;
    showPointer();
    startFullScreenIdleTimer();
}

bool VideoWindowPlacement::fullScreenCursorTimerActive() const
{
    std::lock_guard lock(m_idleTimerMutex);
    return m_fullScreenCursorTimer.isActive();
}

std::int32_t VideoWindowPlacement::halfSecondsSinceLastMove() const
{
    std::lock_guard lock(m_idleTimerMutex);
    return m_halfSecondsSinceLastMove;
}

void VideoWindowPlacement::hidePointerUntilMouseMoves()
{
    if (m_pointerHidden)
        return;
    QGuiApplication::setOverrideCursor(QCursor(Qt::BlankCursor));
    m_pointerHidden = true;
}

void VideoWindowPlacement::showPointer()
{
    if (!m_pointerHidden)
        return;
    QGuiApplication::restoreOverrideCursor();
    m_pointerHidden = false;
}

void VideoWindowPlacement::acceptMouseMovedEvents(bool accept)
{
    if (accept && !m_pointerMotionFilter && m_window) {
        m_pointerMotionFilter = std::make_unique<PointerMotionFilter>([this] { mouseMoved(); });
        qApp->installEventFilter(m_pointerMotionFilter.get());
        // Moves without a button reach only widgets that track the mouse.
        QList<QWidget *> widgets = m_window->findChildren<QWidget *>();
        widgets.prepend(m_window);
        for (QWidget *widget : widgets) {
            if (!widget->hasMouseTracking()) {
                widget->setMouseTracking(true);
                m_trackingTurnedOn.emplace_back(widget);
            }
        }
    } else if (!accept && m_pointerMotionFilter) {
        if (qApp)
            qApp->removeEventFilter(m_pointerMotionFilter.get());
        m_pointerMotionFilter.reset();
        for (const QPointer<QWidget> &widget : m_trackingTurnedOn) {
            if (widget)
                widget->setMouseTracking(false);
        }
        m_trackingTurnedOn.clear();
    }
}

// ---- The window's own events ----------------------------------------------------------------------------

bool VideoWindowPlacement::eventFilter(QObject *watched, QEvent *event)
{
    const QEvent::Type type = event->type();
    if (watched == m_window) {
        // Spontaneous geometry changes come from the window system: the
        // user's drags. Our own changes arrive as sent events.
        if (type == QEvent::Move && event->spontaneous())
            userMovedWindow();
        else if (type == QEvent::Resize && event->spontaneous())
            userResizedWindow(static_cast<QResizeEvent *>(event)->oldSize());
    } else if (watched == m_container) {
        if (type == QEvent::Resize)
            windowDidResize();
    } else if (type == QEvent::Show || type == QEvent::Hide) {
        // The on-screen display or about box appeared or went.
        windowDidResize();
    }
    return QObject::eventFilter(watched, event);
}

void VideoWindowPlacement::userMovedWindow()
{
    if (fullScreenOrTransitioning() || !m_window || m_window->isAnimating())
        return;
    // A window manager may settle a docked window a pixel off; only leaving
    // the docked edges is a move by the user.
    const QScreen *main = QGuiApplication::primaryScreen();
    if (m_docking.any() && main &&
        !geometry::frameSitsAtDockedEdges(m_docking, fromQtScreen(m_window->geometry().marginsAdded(frameMargins())),
                                          fromQtScreen(main->availableGeometry()), kDockTolerance))
        windowWillMove();
    m_moveEnd.start();
}

void VideoWindowPlacement::userResizedWindow(const QSize &oldSize)
{
    if (fullScreenOrTransitioning() || !m_window || m_window->isAnimating())
        return;
    if (!m_liveResizeStartSize && oldSize.isValid())
        m_liveResizeStartSize = oldSize;
    m_liveResizeEnd.start();
}

void VideoWindowPlacement::windowWillMove()
{
    m_docking = {};
    m_host.savePreferences();
}

void VideoWindowPlacement::windowDidMove()
{
    m_host.savePreferences();
}

void VideoWindowPlacement::windowDidResize()
{
    if (!m_window || !m_container)
        return;
    QScreen *screen = m_window->screen() ? m_window->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    geometry::OverlayLayoutInput input;
    input.window = frame();
    input.screen = fromQtScreen(screen->geometry());
    input.isFullScreen = m_isFullScreen;
    input.onScreenDisplayVisible = m_OSDScrollView && !m_OSDScrollView->isHidden();
    input.aboutBoxShowing = m_OSDAboutBoxView && !m_OSDAboutBoxView->isHidden();
    const geometry::OverlayLayout layout = geometry::overlayLayout(input);

    if (layout.onScreenDisplay) {
        m_OSDScrollView->setGeometry(toChild(*layout.onScreenDisplay));
        roundCorners(m_OSDScrollView);
    }
    if (layout.aboutBox) {
        if (m_aboutBoxBlurView) {
            m_aboutBoxBlurView->setGeometry(toChild(*layout.aboutBox));
            m_aboutBoxBlurView->show();
        }
        m_OSDAboutBoxView->setGeometry(toChild(*layout.aboutBoxView));
        roundCorners(m_OSDAboutBoxView);
    } else if (m_aboutBoxBlurView) {
        m_aboutBoxBlurView->hide();
    }
    for (const AnchoredControl &control : m_anchored) {
        if (control.widget)
            control.widget->setGeometry(toChild(geometry::repositionRelativeToFrame(
                control.base, m_baseWindowRect, layout.referenceFrame, control.fromTop, control.fromRight)));
    }
    m_window->resetZoomMenuItemTitle();
}

void VideoWindowPlacement::windowDidEndLiveResize()
{
    if (fullScreenOrTransitioning() || !m_window)
        return;
    const QSizeF size = m_host.videoDimensionsWithRotation();
    const geometry::Size picture{size.width(), size.height()};
    const Rect after = frame();
    const QSize startSize = m_liveResizeStartSize.value_or(m_window->size());
    m_liveResizeStartSize.reset();
    const Rect before{after.x, after.y, double(startSize.width()), double(startSize.height())};
    const int chrome = m_window->titleBarHeightForWidth(m_window->width());
    auto fitted = geometry::frameFittedAfterUserResize(before, after, picture, chrome);
    if (fitted && !m_window->isZoomed()) {
        // A width taken from the height may fall below the minimum, which
        // Qt would enforce without the height to match.
        const double minimumWidth = m_window->minimumWidth();
        if (fitted->width < minimumWidth)
            fitted = geometry::frameFittedToPicture(
                geometry::adjustFrameRectBasedOnWindowPosition(*fitted, {minimumWidth, fitted->height}), picture,
                chrome);
        if (toQtScreen(*fitted) != m_window->geometry()) {
            const geometry::DockingInfo docked = isDocked();
            setFrame(*fitted);
            reDockWithDockInfo(docked);
        }
    }
    m_host.setImageFilters();
    m_host.savePreferences();
}

void VideoWindowPlacement::windowWillClose()
{
    stopFullScreenIdleTimer();
    showPointer();
}

} // namespace kelvo::viewer
