#pragma once

#include "ui/DraggableView.h"
#include "ui/DraggableWindow.h"
#include "ui/MainWindowInterface.h"
#include "viewer/VideoWindowHost.h"
#include "viewer/geometry/DockingInfo.h"
#include "viewer/geometry/WindowGeometry.h"

#include <QMargins>
#include <QObject>
#include <QPointer>
#include <QScreen>
#include <QSize>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace kelvo::ui {
class MainMenu;
} // namespace kelvo::ui

namespace kelvo::viewer {

// Keeps the video window's shape equal to the picture's, docks it against
// the edges of the main screen, turns it with the picture, takes it into and
// out of full screen (where the picture fills the screen and is cut on its
// long side), hides the resting pointer in full screen, lays out the
// overlay views after every resize.
//
// Placement rules are computed in the lower-left, y-up screen system of
// viewer/geometry and converted to Qt's coordinates only here. Qt gives no
// aspect-ratio hint to X11 or Wayland window managers, so the picture's
// shape is restored when the user's resize comes to rest.
// Thread: main thread.
class VideoWindowPlacement : public QObject {
    Q_OBJECT
public:
    using Rect = geometry::Rect;

    // Timing services, replaceable so that tests run without waiting.
    struct Timers {
        // Runs `task` once after delayMs.
        std::function<void(int delayMs, std::function<void()> task)> singleShot;
        // Moves a rectangle from `from` to `to` over durationMs, calling
        // `step` with each intermediate value, then `done`.
        std::function<void(const Rect &from, const Rect &to, int durationMs, std::function<void(const Rect &)> step,
                           std::function<void()> done)>
            animate;
    };

    // Takes the window and its views from `outlets` (build it after the
    // interface is complete, the reading-guide overlay included). The window
    // and views stay owned by the caller.
    VideoWindowPlacement(const ui::MainWindowOutlets &outlets, VideoWindowHost &host, QObject *parent = nullptr);
    ~VideoWindowPlacement() override;

    // ---- Start-up --------------------------------------------------------------

    // Stacks the overlays, rounds the on-screen panels and makes the about
    // box's backdrop, once the window's views all exist.
    void prepareWindow();
    // Stacks the overlays over the picture, from bottom to top: about box,
    // about box view, reading guides, battery, recording mark, audio level,
    // audio gain, on-screen display.
    void setViewOrder();

    // ---- Shape ------------------------------------------------------------------

    // Fits the window's height to the picture at its width, keeping the
    // top-left corner and the docking, and sets the minimum size; a height
    // already within a pixel of the fit is kept. Outside full screen only; a
    // picture without size is asked for again 1.0 s later.
    void setWindowAspectRatio();
    // Turns the window with the picture under the same top-left corner,
    // keeping the docking: the picture area's sides are exchanged and the
    // menu bar goes on top for the new width. A series of turns is computed
    // from the picture area the window had before the first, so that two
    // turns give back the frame exactly. Outside full screen only.
    void rotateWindow();
    static double titleBarHeight() { return geometry::kTitleBarHeight; }

    // ---- Docking ----------------------------------------------------------------

    geometry::DockingInfo isDocked() const { return geometry::isDocked(m_docking); }
    const geometry::DockingFlags &dockingFlags() const { return m_docking; }
    // Docks against the edges a stored value names: right, left, bottom, top.
    // Nothing in full screen.
    void reDockWithDockInfo(geometry::DockingInfo dockInfo);
    void clearDockedFlags() { m_docking = {}; }
    // The menu actions: dock against that edge of the main screen's visible
    // area and save; in full screen (or on the way in or out) only a beep.
    void moveWindowToTop();
    void moveWindowToBottom();
    void moveWindowToLeft();
    void moveWindowToRight();

    // ---- Full screen --------------------------------------------------------------

    // Goes into full screen, or comes out of it; ignored while either
    // transition runs.
    void enterExitFullScreen();
    bool isFullScreen() const { return m_isFullScreen; }
    bool transitioningToFullScreen() const { return m_transitioningToFullScreen; }
    bool transitioningFromFullScreen() const { return m_transitioningFromFullScreen; }
    QScreen *screenForFullScreenMode() const { return m_screenForFullScreenMode; }
    const Rect &windowFrameBeforeEnteringFullScreenMode() const { return m_windowFrameBeforeEnteringFullScreenMode; }
    // Set by the on-screen display to open once full screen is reached.
    void setShowOSDAfterEnteringFullScreen(bool show) { m_showOSDAfterEnteringFullScreen = show; }
    bool showOSDAfterEnteringFullScreen() const { return m_showOSDAfterEnteringFullScreen; }
    // The rectangle the window takes in full screen on `screen` (the main
    // screen when null), and the same for a screen frame.
    Rect getFullScreenRectForScreen(QScreen *screen) const;
    Rect getFullScreenRectForScreenFrame(const Rect &screenFrame) const;

    // ---- Idle pointer in full screen ------------------------------------------------

    void startFullScreenIdleTimer();
    void stopFullScreenIdleTimer();
    // One tick of the 0.5 s timer; the seventh tick since the last move
    // stops the timer and hides the pointer until the mouse moves.
    void mouseIdleTimerHandler();
    // A mouse move in full screen: shows the pointer and restarts the count.
    void mouseMoved();
    bool fullScreenCursorTimerActive() const;
    std::int32_t halfSecondsSinceLastMove() const;
    bool pointerHidden() const { return m_pointerHidden; }

    // ---- The window's own events ------------------------------------------------------

    // The user starts to move the window: docking no longer holds.
    void windowWillMove();
    void windowDidMove();
    // Lays out the on-screen display, the about box and the floating
    // controls for the window's current frame.
    void windowDidResize();
    // The user's resize came to rest: restores the picture's shape, rebuilds
    // the picture and saves.
    void windowDidEndLiveResize();
    // The window is closing: the idle-pointer timer stops and the pointer
    // shows again.
    void windowWillClose();

    // The window frame in the y-up screen system; in full screen, the
    // full-screen rectangle the picture occupies.
    Rect frame() const;
    // Sets the window frame (its client area, y-up). Outside full screen the
    // frame is first moved, and shrunk if need be, onto the screen it mostly
    // lies on so that its title bar and menu bar can be reached; in full
    // screen the full-screen rectangle applies, overhanging as it must.
    void setFrame(const Rect &frame);

    // The conversions between the y-up screen system and Qt's screen
    // coordinates, about the primary screen's bottom edge. Whatever keeps or
    // places a window frame converts here, so that a frame saved in the
    // settings comes back where it was.
    static Rect fromQtScreen(const QRect &rect);
    static QRect toQtScreen(const Rect &rect);
    ui::DraggableWindow *windowForSheet() const { return m_window; }
    ui::DraggableView *aboutBoxBlurView() const { return m_aboutBoxBlurView; }

    void setTimersForTesting(Timers timers) { m_timers = std::move(timers); }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    struct AnchoredControl {
        QPointer<QWidget> widget;
        Rect base;
        bool fromTop = false;
        bool fromRight = false;
    };

    bool fullScreenOrTransitioning() const;
    void moveWindowTo(geometry::DockEdge edge);
    void dockTo(geometry::DockEdge edge);
    QMargins frameMargins();
    bool fullScreenFrameInForce() const;
    Rect keptOnScreen(const Rect &clientFrame);
    Rect pictureFrameOf(const Rect &windowFrame) const;
    double pictureAspectRatio() const;
    QScreen *fullScreenScreen() const;
    void applyFullScreenPictureFrame(const Rect &frame);
    void windowWillEnterFullScreen();
    void startCustomAnimationToEnterFullScreen(int durationMs);
    void windowDidEnterFullScreen();
    void windowWillExitFullScreen();
    void startCustomAnimationToExitFullScreen();
    void windowDidExitFullScreen();
    void acceptMouseMovedEvents(bool accept);
    void hidePointerUntilMouseMoves();
    void showPointer();
    void userMovedWindow();
    void userResizedWindow(const QSize &oldSize);
    void captureAnchoredControls();
    void createAboutBoxBlurView();
    QRect toChild(const Rect &rect) const;

    VideoWindowHost &m_host;
    QPointer<ui::DraggableWindow> m_window;
    QPointer<QWidget> m_container;
    QPointer<QWidget> m_lineOverlayView;
    QPointer<QWidget> m_batteryLevelIndicatorView;
    QPointer<QWidget> m_recordOverlayView;
    QPointer<QWidget> m_audioLevelIndicator;
    QPointer<QWidget> m_audioGainControl;
    QPointer<QWidget> m_OSDScrollView;
    QPointer<QWidget> m_OSDAboutBoxView;
    QPointer<ui::DraggableView> m_aboutBoxBlurView;

    std::vector<AnchoredControl> m_anchored;
    Rect m_baseWindowRect;

    geometry::DockingFlags m_docking;
    // The picture area before the first of a series of turns, whether the
    // window stands turned from it, and the size the last turn left the
    // window with: any other size means the series has ended.
    struct Turning {
        geometry::Size pictureArea;
        bool turned = false;
        QSize windowSize;
    };
    std::optional<Turning> m_turning;
    QMargins m_frameMargins;
    bool m_isFullScreen = false;
    bool m_transitioningToFullScreen = false;
    bool m_transitioningFromFullScreen = false;
    // A retry of the window's shape, waiting for the picture's size, is queued.
    bool m_pictureSizeRetryPending = false;
    bool m_showOSDAfterEnteringFullScreen = false;
    QPointer<QScreen> m_screenForFullScreenMode;
    Rect m_windowFrameBeforeEnteringFullScreenMode;
    // Where the picture is while our own picture geometry is in force.
    std::optional<Rect> m_fullScreenPictureFrame;

    mutable std::mutex m_idleTimerMutex;
    QTimer m_fullScreenCursorTimer;              // guarded by m_idleTimerMutex
    std::int32_t m_halfSecondsSinceLastMove = 0; // guarded by m_idleTimerMutex
    bool m_pointerHidden = false;
    std::unique_ptr<QObject> m_pointerMotionFilter;
    std::vector<QPointer<QWidget>> m_trackingTurnedOn;

    // A user's resize or move has come to rest when no event came for a while.
    QTimer m_liveResizeEnd;
    QTimer m_moveEnd;
    std::optional<QSize> m_liveResizeStartSize;

    Timers m_timers;
};

} // namespace kelvo::viewer
