#pragma once

#include "guides/GuideLineGeometry.h"
#include "guides/LineOverlayDelegate.h"
#include "guides/OverlayDrawing.h"
#include "guides/ReadingGuideMenuState.h"
#include "guides/ReadingGuideMode.h"
#include "guides/ReadingGuideSurface.h"

#include <cstdint>

namespace kelvo::guides {

// State and rules of the reading guides: a pair of horizontal or vertical
// guides drawn as two lines or as a black mask outside the band between
// them, the zoom locator frame, and the arithmetic of dragging, scrolling
// and the rotate gesture. All geometry is in lower-left (y-up) coordinates
// of a view of boundsWidth × boundsHeight; LineOverlayView converts to Qt's
// top-left system.
//
// Units: one scrollPosition step moves the pair by h/200 (w/200 for vertical
// guides); one guideSeparation step moves each line by h/50 (w/50) away from
// the pair's centre. The drag accumulators hold the part of a line drag that
// is smaller than one separation step, so the grabbed line follows the
// pointer continuously; the scroll accumulators do the same for the wheel.
//
// The model stores nothing on disk: it asks the controller to save.
// Thread: main thread only.
class ReadingGuideModel {
public:
    static constexpr std::int32_t kMinGuideSeparation = 1;
    static constexpr std::int32_t kMaxGuideSeparation = 20;
    static constexpr std::uint64_t kMinLineWidth = 1;
    static constexpr std::uint64_t kMaxLineWidth = 3;

    explicit ReadingGuideModel(ReadingGuideSurface *surface = nullptr);

    // Back to the initial state: separation 2, scroll 0, accumulators 0,
    // line width 1 (through setLineWidth, so the menus follow), no guides.
    void initPrivateVars();

    void setSurface(ReadingGuideSurface *surface) { m_surface = surface; }
    LineOverlayDelegate *mainWindowDelegate() const { return m_mainWindowDelegate; }
    void setMainWindowDelegate(LineOverlayDelegate *delegate) { m_mainWindowDelegate = delegate; }

    // The overlay's current size; negative sizes count as empty.
    void setBounds(double width, double height);
    double boundsWidth() const { return m_width; }
    double boundsHeight() const { return m_height; }

    std::int32_t horizontalReadingGuideMode() const { return m_horizontalReadingGuideMode; }
    // Stores the mode and turns the vertical guides off; redraws and
    // refreshes the menus. Does not save.
    void setHorizontalReadingGuideMode(std::int32_t mode);
    std::int32_t verticalReadingGuideMode() const { return m_verticalReadingGuideMode; }
    // Stores the mode and turns the horizontal guides off; redraws and
    // refreshes the menus. Does not save.
    void setVerticalReadingGuideMode(std::int32_t mode);

    std::int32_t guideSeparation() const { return m_guideSeparation; }
    // Accepts 1..20 and redraws; returns false (and changes nothing, not even
    // the display) for any other value. Does not save.
    bool setGuideSeparation(std::int32_t separation);

    std::int32_t scrollPosition() const { return m_scrollPosition; }
    // Clamps to [1 - L, L - 1] with L = 100 - 2 × guideSeparation, stores,
    // redraws and saves, at every call.
    void setScrollPosition(std::int32_t position);
    // The largest scroll position the current separation allows; the
    // smallest is its negative.
    std::int32_t scrollPositionLimit() const;

    std::uint64_t lineWidth() const { return m_lineWidth; }
    // Accepts 1..3, refreshes the menus and redraws; returns false for any
    // other value and changes nothing.
    bool setLineWidth(std::uint64_t width);

    double dragAccumX() const { return m_dragAccumX; }
    void setDragAccumX(double value) { m_dragAccumX = value; }
    double dragAccumY() const { return m_dragAccumY; }
    void setDragAccumY(double value) { m_dragAccumY = value; }
    double scrollAccumX() const { return m_scrollAccumX; }
    void setScrollAccumX(double value) { m_scrollAccumX = value; }
    double scrollAccumY() const { return m_scrollAccumY; }
    void setScrollAccumY(double value) { m_scrollAccumY = value; }
    std::int32_t mouseDragMode() const { return m_mouseDragMode; }
    void setMouseDragMode(std::int32_t mode) { m_mouseDragMode = mode; }

    // How much the picture is magnified at a zoom level, relative to level 1.
    static double zoomMultiplierForZoomLevel(std::int32_t zoomLevel);
    // Drawn thickness of lines and locator frame, from the height for both
    // axes; truncated, so 0 on a view lower than 200.
    int lineWidthInPixels() const;
    // Half the height of the band that grabs a horizontal line: trunc(h/50).
    int lineWidthInPixelsForDragBounds() const;

    GuideLineGeometry horizontalLinePointInfo() const;
    GuideLineGeometry verticalLinePointInfo() const;

    // What to draw now: the locator frame while locating (and nothing else),
    // otherwise the active axis's lines or masks.
    OverlayDrawing drawing() const;

    // Works out the enabled and checked state of the guide menu, clears the
    // controller's zoom dial flags when no guides are shown, hands the state
    // to the surface and returns it.
    ReadingGuideMenuState updateReadingGuideMenus();

    // The mouseDragMode a press at this point selects: a line of the active
    // axis (the horizontal axis first, the first line first), else the window.
    std::int32_t dragModeForPoint(GuidePoint point) const;
    // Press: choose what the drag acts on, then take a drag step of zero.
    void mouseDown(GuidePoint point);
    // One drag step; dy is positive when the pointer moves down. Line modes
    // add the delta of their own axis to its accumulator and move whole
    // separation steps out of it (steps past 1..20 are dropped); mode 5
    // moves the window; mode 0 only redraws. Non-finite deltas are ignored.
    void handleContinuingMouseDragWithDeltaX(double dx, double dy);
    // Release: the drag ends and the state is saved.
    void mouseUp();
    // Scroll wheel or trackpad scroll with the platform's deltas (positive
    // deltaY scrolls up unless the direction is inverted from the device).
    void scrollWheel(double deltaX, double deltaY, bool directionInvertedFromDevice);

    // The rotate gesture drags the line chosen at its start: the upper
    // horizontal line when horizontal guides are on, otherwise the right
    // vertical line (even with no guides at all).
    void beginGesture();
    // rotationDegrees is positive counter-clockwise.
    void rotateWithDegrees(double rotationDegrees);
    void endGesture();

private:
    void setNeedsDisplay();
    void savePreferences();
    // The whole steps of size unit in accumulator, moved out of it.
    static double takeWholeSteps(double &accumulator, double unit);

    ReadingGuideSurface *m_surface = nullptr;
    LineOverlayDelegate *m_mainWindowDelegate = nullptr; // owns the overlay
    double m_width = 0;
    double m_height = 0;

    std::int32_t m_horizontalReadingGuideMode = kReadingGuideModeNone;
    std::int32_t m_verticalReadingGuideMode = kReadingGuideModeNone;
    std::int32_t m_guideSeparation = 2;
    std::int32_t m_scrollPosition = 0;
    std::uint64_t m_lineWidth = 1;
    double m_dragAccumX = 0;
    double m_dragAccumY = 0;
    double m_scrollAccumX = 0;
    double m_scrollAccumY = 0;
    std::int32_t m_mouseDragMode = kMouseDragNone;
};

} // namespace kelvo::guides
