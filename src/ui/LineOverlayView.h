#pragma once

#include "guides/ReadingGuideModel.h"

#include <QPointF>
#include <QPointer>
#include <QWidget>

#include <optional>

class QMenuBar;

namespace kelvo::ui {

// The transparent layer over the video that draws the reading guides (two
// lines, or a black mask outside the reading band) and the zoom locator
// frame, and lets the user drag the lines, scroll the pair with the wheel,
// widen or narrow it with the rotate gesture, and move the window by
// dragging anywhere else on the picture.
//
// The rules live in guides::ReadingGuideModel, in lower-left (y-up)
// coordinates; this class converts once to Qt's top-left system, draws and
// routes events. The controller (a guides::LineOverlayDelegate) owns the
// overlay, stores its state and is asked to redraw it with update() after
// zoom, locator and colour-mode changes.
// Thread: main thread only.
class LineOverlayView final : public QWidget, private guides::ReadingGuideSurface {
    Q_OBJECT
public:
    explicit LineOverlayView(QWidget *parent = nullptr);
    LineOverlayView(const QRect &frame, QWidget *parent = nullptr);
    LineOverlayView(const QRect &frame, guides::LineOverlayDelegate *mainWindow, QWidget *parent = nullptr);
    ~LineOverlayView() override;

    guides::LineOverlayDelegate *mainWindowDelegate() const { return m_model.mainWindowDelegate(); }
    void setMainWindowDelegate(guides::LineOverlayDelegate *delegate) { m_model.setMainWindowDelegate(delegate); }
    // The menu bar that holds the guide menu (tag 300). When none is set,
    // the menu bar of the overlay's main window is used, if it has one.
    void setMainMenuBar(QMenuBar *menuBar);

    std::int32_t horizontalReadingGuideMode() const { return m_model.horizontalReadingGuideMode(); }
    void setHorizontalReadingGuideMode(std::int32_t mode) { model().setHorizontalReadingGuideMode(mode); }
    std::int32_t verticalReadingGuideMode() const { return m_model.verticalReadingGuideMode(); }
    void setVerticalReadingGuideMode(std::int32_t mode) { model().setVerticalReadingGuideMode(mode); }
    std::int32_t guideSeparation() const { return m_model.guideSeparation(); }
    void setGuideSeparation(std::int32_t separation) { model().setGuideSeparation(separation); }
    std::int32_t scrollPosition() const { return m_model.scrollPosition(); }
    void setScrollPosition(std::int32_t position) { model().setScrollPosition(position); }
    std::uint64_t lineWidth() const { return m_model.lineWidth(); }
    void setLineWidth(std::uint64_t width) { model().setLineWidth(width); }

    double dragAccumX() const { return m_model.dragAccumX(); }
    void setDragAccumX(double value) { m_model.setDragAccumX(value); }
    double dragAccumY() const { return m_model.dragAccumY(); }
    void setDragAccumY(double value) { m_model.setDragAccumY(value); }
    double scrollAccumX() const { return m_model.scrollAccumX(); }
    void setScrollAccumX(double value) { m_model.setScrollAccumX(value); }
    double scrollAccumY() const { return m_model.scrollAccumY(); }
    void setScrollAccumY(double value) { m_model.setScrollAccumY(value); }
    std::int32_t mouseDragMode() const { return m_model.mouseDragMode(); }
    void setMouseDragMode(std::int32_t mode) { m_model.setMouseDragMode(mode); }

    static double zoomMultiplierForZoomLevel(std::int32_t zoomLevel)
    {
        return guides::ReadingGuideModel::zoomMultiplierForZoomLevel(zoomLevel);
    }
    int lineWidthInPixels() const { return model().lineWidthInPixels(); }
    int lineWidthInPixelsForDragBounds() const { return model().lineWidthInPixelsForDragBounds(); }
    // In lower-left (y-up) coordinates of this view.
    guides::GuideLineGeometry horizontalLinePointInfo() const { return model().horizontalLinePointInfo(); }
    guides::GuideLineGeometry verticalLinePointInfo() const { return model().verticalLinePointInfo(); }

    // Sets the enabled and checked state of the guide menu's items and, when
    // no guides are shown, clears the controller's zoom dial flags.
    void updateReadingGuideMenus() { model().updateReadingGuideMenus(); }

    // One drag step; dy is positive when the pointer moves down.
    void handleContinuingMouseDragWithDeltaX(double dx, double dy)
    {
        model().handleContinuingMouseDragWithDeltaX(dx, dy);
    }

    // The rotate gesture, for the controller when the application routes
    // trackpad gestures to it; rotate native gestures that reach the overlay
    // itself take the same path.
    void beginGesture() { m_model.beginGesture(); }
    // rotationDegrees is positive counter-clockwise.
    void rotateWithDegrees(double rotationDegrees) { model().rotateWithDegrees(rotationDegrees); }
    void endGesture() { m_model.endGesture(); }

protected:
    bool event(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;

private:
    void initPrivateVars();
    // The model, sized to the current bounds: a hidden widget gets its
    // resize event only when shown, so the size is taken at every use.
    guides::ReadingGuideModel &model() const;
    guides::GuidePoint toGuidePoint(QPointF widgetPosition) const;
    QMenuBar *guideMenuBar() const;

    // ReadingGuideSurface
    void setNeedsDisplay() override;
    void applyReadingGuideMenuState(const guides::ReadingGuideMenuState &state) override;
    void moveWindowFrameBy(double dx, double dyUp) override;

    mutable guides::ReadingGuideModel m_model;
    QPointer<QMenuBar> m_mainMenuBar;
    // Pointer position of the last drag step, in global coordinates: the
    // window moves under the pointer, so widget coordinates would not do.
    QPointF m_lastGlobalPosition;
    // The window manager moves the window; our own move events stop.
    bool m_systemMoveActive = false;
    // Part of a manual window move smaller than one whole pixel, and where
    // the manual move has put the window so far.
    QPointF m_pendingWindowMove;
    std::optional<QPoint> m_windowMoveTarget;
};

} // namespace kelvo::ui
