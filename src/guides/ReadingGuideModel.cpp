#include "guides/ReadingGuideModel.h"

#include "common/SystemLog.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace kelvo::guides {

namespace {

// The camera's eight optical steps, measured against the widest one.
constexpr std::array<double, 8> kOpticalZoomMultipliers = {1.0, 1.19, 1.4, 1.65, 2.0, 2.35, 2.72, 3.2};

bool isLineMode(std::int32_t dragMode)
{
    return dragMode >= kMouseDragFirstHorizontalLine && dragMode <= kMouseDragSecondVerticalLine;
}

} // namespace

ReadingGuideModel::ReadingGuideModel(ReadingGuideSurface *surface) : m_surface(surface) {}

void ReadingGuideModel::initPrivateVars()
{
    m_guideSeparation = 2;
    m_scrollPosition = 0;
    m_dragAccumX = 0;
    m_dragAccumY = 0;
    m_scrollAccumX = 0;
    m_scrollAccumY = 0;
    // The modes first, so that the menu refresh below already sees no guides.
    m_horizontalReadingGuideMode = kReadingGuideModeNone;
    m_verticalReadingGuideMode = kReadingGuideModeNone;
    // Through the setter, so that an already built menu shows width 1.
    setLineWidth(1);
}

void ReadingGuideModel::setBounds(double width, double height)
{
    // A NaN size would poison every coordinate; treat it like an empty view.
    m_width = width > 0 ? width : 0;
    m_height = height > 0 ? height : 0;
}

void ReadingGuideModel::setHorizontalReadingGuideMode(std::int32_t mode)
{
    m_horizontalReadingGuideMode = mode;
    m_verticalReadingGuideMode = kReadingGuideModeNone;
    setNeedsDisplay();
    updateReadingGuideMenus();
}

void ReadingGuideModel::setVerticalReadingGuideMode(std::int32_t mode)
{
    m_verticalReadingGuideMode = mode;
    m_horizontalReadingGuideMode = kReadingGuideModeNone;
    setNeedsDisplay();
    updateReadingGuideMenus();
}

bool ReadingGuideModel::setGuideSeparation(std::int32_t separation)
{
    if (separation < kMinGuideSeparation || separation > kMaxGuideSeparation)
        return false;
    m_guideSeparation = separation;
    setNeedsDisplay();
    return true;
}

std::int32_t ReadingGuideModel::scrollPositionLimit() const
{
    // Keeps the pair's centre inside the view with room for both lines.
    return static_cast<std::int32_t>(100 - 2 * m_guideSeparation) - 1;
}

void ReadingGuideModel::setScrollPosition(std::int32_t position)
{
    const std::int32_t limit = scrollPositionLimit();
    m_scrollPosition = std::clamp(position, -limit, limit);
    setNeedsDisplay();
    savePreferences();
}

bool ReadingGuideModel::setLineWidth(std::uint64_t width)
{
    if (width < kMinLineWidth || width > kMaxLineWidth)
        return false;
    m_lineWidth = width;
    updateReadingGuideMenus();
    setNeedsDisplay();
    return true;
}

double ReadingGuideModel::zoomMultiplierForZoomLevel(std::int32_t zoomLevel)
{
    if (zoomLevel >= 1 && zoomLevel <= 8)
        return kOpticalZoomMultipliers[static_cast<std::size_t>(zoomLevel - 1)];
    // Digital levels: a quarter of the longest optical step per level.
    return (1.0 + (zoomLevel - 8) * 0.25) * 3.2;
}

int ReadingGuideModel::lineWidthInPixels() const
{
    double width;
    switch (m_lineWidth) {
    case 3:
        width = m_height / 50;
        break;
    case 2:
        width = m_height / 100;
        break;
    default:
        width = m_height / 200;
        break;
    }
    return static_cast<int>(width);
}

int ReadingGuideModel::lineWidthInPixelsForDragBounds() const
{
    return static_cast<int>(m_height / 50);
}

GuideLineGeometry ReadingGuideModel::horizontalLinePointInfo() const
{
    const double w = m_width;
    const double h = m_height;
    // A positive scroll position moves the pair down.
    const double centreY = h / 2 - m_scrollPosition * h / 200;
    const double topY = centreY + m_guideSeparation * h / 50 + m_dragAccumY;
    const double bottomY = centreY - m_guideSeparation * h / 50 - m_dragAccumY;
    // Horizontal lines are easy to miss when they are thin, so the grab band
    // depends on the view's height rather than on the drawn thickness.
    const double t = lineWidthInPixelsForDragBounds();

    GuideLineGeometry g;
    g.firstLineStart = {0, topY};
    g.firstLineEnd = {w, topY};
    g.secondLineStart = {0, bottomY};
    g.secondLineEnd = {w, bottomY};
    g.firstLineHitRect = {0, topY - t, w, 2 * t};
    g.secondLineHitRect = {0, bottomY - t, w, 2 * t};
    return g;
}

GuideLineGeometry ReadingGuideModel::verticalLinePointInfo() const
{
    const double w = m_width;
    const double h = m_height;
    // A positive scroll position moves the pair right: the opposite sign of
    // the horizontal case, so that "down" and "right" both mean forward.
    const double centreX = w / 2 + m_scrollPosition * w / 200;
    const double leftX = centreX - m_guideSeparation * w / 50 - m_dragAccumX;
    const double rightX = centreX + m_guideSeparation * w / 50 + m_dragAccumX;
    const double t = lineWidthInPixels();

    GuideLineGeometry g;
    g.firstLineStart = {leftX, h};
    g.firstLineEnd = {leftX, 0};
    g.secondLineStart = {rightX, h};
    g.secondLineEnd = {rightX, 0};
    g.firstLineHitRect = {leftX - t, 0, 2 * t, h};
    g.secondLineHitRect = {rightX - t, 0, 2 * t, h};
    return g;
}

OverlayDrawing ReadingGuideModel::drawing() const
{
    const double w = m_width;
    const double h = m_height;
    OverlayDrawing d;
    LineOverlayDelegate *controller = m_mainWindowDelegate;

    const std::int32_t savedZoomLevel = controller ? controller->savedZoomLevel() : 0;
    if (savedZoomLevel != 0) {
        // While locating, the picture is at level 1 and the frame shows the
        // part that the remembered level will fill again.
        const double m = zoomMultiplierForZoomLevel(savedZoomLevel);
        if (!(m > 0))
            return d; // no level magnifies by zero or less; draw nothing
        double fw = w / m;
        double fh = h / m;
        double fx = w / 2 - fw / 2;
        double fy = h / 2 - fh / 2;
        if (controller->isFullScreen()) {
            // In full screen the video overhangs the screen on its long side;
            // the frame is corrected so that it marks what will be visible.
            const GuideRect screen = controller->fullScreenScreenFrame();
            const GuideRect video = controller->fullScreenRectForScreenFrame(screen);
            if (screen.width == video.width) {
                if (video.height != 0) {
                    const double corrected = (screen.height / video.height) * fh;
                    fy += (fh - corrected) / 2;
                    fh = corrected;
                }
            } else if (video.width != 0) {
                const double corrected = (screen.width / video.width) * fw;
                fx += (fw - corrected) / 2;
                fw = corrected;
            }
        }
        d.kind = OverlayDrawing::Kind::LocatorFrame;
        d.color = GuideColor::White;
        d.strokeWidth = lineWidthInPixels();
        d.locatorFrame = {fx, fy, fw, fh};
        return d;
    }

    const bool horizontal = m_horizontalReadingGuideMode != kReadingGuideModeNone;
    const bool vertical = m_verticalReadingGuideMode != kReadingGuideModeNone;
    if (!horizontal && !vertical)
        return d;

    const GuideLineGeometry g = horizontal ? horizontalLinePointInfo() : verticalLinePointInfo();
    const std::int32_t mode = horizontal ? m_horizontalReadingGuideMode : m_verticalReadingGuideMode;
    if (mode == kReadingGuideModeLines) {
        // Lines stay visible against the black background of inverse modes.
        d.kind = OverlayDrawing::Kind::Lines;
        d.color = controller && controller->isInInverseColorMode() ? GuideColor::White : GuideColor::Black;
        d.strokeWidth = lineWidthInPixels();
        d.lines = {g.firstLineStart, g.firstLineEnd, g.secondLineStart, g.secondLineEnd};
        return d;
    }

    // The mask hides the page outside the band; it is black in every mode.
    d.kind = OverlayDrawing::Kind::Window;
    d.color = GuideColor::Black;
    d.strokeWidth = 1;
    if (horizontal) {
        const double topY = g.firstLineStart.y;
        const double bottomY = g.secondLineStart.y;
        d.masks = {GuideRect{0, topY, w, h - topY}, GuideRect{0, 0, w, bottomY}};
    } else {
        const double leftX = g.firstLineStart.x;
        const double rightX = g.secondLineStart.x;
        // The right mask reaches past the right edge; drawing clips it.
        d.masks = {GuideRect{0, 0, leftX, h}, GuideRect{rightX, 0, w, h}};
    }
    return d;
}

ReadingGuideMenuState ReadingGuideModel::updateReadingGuideMenus()
{
    // Qt menus have no automatic item enabling, so every item named here is
    // set explicitly and nothing else touches them.
    ReadingGuideMenuState state;
    auto set = [&state](int parentTag, int tag, std::optional<bool> enabled, std::optional<bool> checked) {
        state.items.push_back(GuideMenuItemUpdate{parentTag, tag, enabled, checked});
    };

    for (std::uint64_t n = kMinLineWidth; n <= kMaxLineWidth; ++n)
        set(kGuideLineWidthItemTag, kGuideLineWidthBaseTag + static_cast<int>(n), std::nullopt, m_lineWidth == n);

    const bool horizontal = m_horizontalReadingGuideMode != kReadingGuideModeNone;
    const bool vertical = m_verticalReadingGuideMode != kReadingGuideModeNone;
    LineOverlayDelegate *controller = m_mainWindowDelegate;

    if (!horizontal && !vertical) {
        set(0, kGuideLineWidthItemTag, false, std::nullopt);
        set(0, kGuideSeparationItemTag, false, std::nullopt);
        set(0, kGuideScrollItemTag, false, std::nullopt);
        for (int tag = kGuideScrollUpItemTag; tag <= kGuideScrollRightItemTag; ++tag)
            set(kGuideScrollItemTag, tag, false, std::nullopt);
        set(0, kGuideZoomChangesSpacingItemTag, false, false);
        set(0, kGuideZoomScrollsItemTag, false, false);
        // With nothing to move, the zoom buttons must zoom again.
        if (controller) {
            controller->setZoomScrollsGuides(false);
            controller->setZoomChangesGuideSpacing(false);
        }
    } else {
        const bool lines = m_horizontalReadingGuideMode == kReadingGuideModeLines ||
                           m_verticalReadingGuideMode == kReadingGuideModeLines;
        set(0, kGuideLineWidthItemTag, lines, std::nullopt);
        set(0, kGuideSeparationItemTag, true, std::nullopt);
        set(0, kGuideScrollItemTag, true, std::nullopt);
        set(kGuideScrollItemTag, kGuideScrollUpItemTag, horizontal, std::nullopt);
        set(kGuideScrollItemTag, kGuideScrollDownItemTag, horizontal, std::nullopt);
        set(kGuideScrollItemTag, kGuideScrollLeftItemTag, !horizontal, std::nullopt);
        set(kGuideScrollItemTag, kGuideScrollRightItemTag, !horizontal, std::nullopt);
        set(0, kGuideZoomChangesSpacingItemTag, true, controller && controller->zoomChangesGuideSpacing());
        set(0, kGuideZoomScrollsItemTag, true, controller && controller->zoomScrollsGuides());
    }

    if (m_surface)
        m_surface->applyReadingGuideMenuState(state);
    return state;
}

std::int32_t ReadingGuideModel::dragModeForPoint(GuidePoint point) const
{
    if (m_horizontalReadingGuideMode != kReadingGuideModeNone) {
        const GuideLineGeometry g = horizontalLinePointInfo();
        if (g.firstLineHitRect.contains(point))
            return kMouseDragFirstHorizontalLine;
        if (g.secondLineHitRect.contains(point))
            return kMouseDragSecondHorizontalLine;
        return kMouseDragWindow;
    }
    if (m_verticalReadingGuideMode != kReadingGuideModeNone) {
        const GuideLineGeometry g = verticalLinePointInfo();
        if (g.firstLineHitRect.contains(point))
            return kMouseDragFirstVerticalLine;
        if (g.secondLineHitRect.contains(point))
            return kMouseDragSecondVerticalLine;
        return kMouseDragWindow;
    }
    // The overlay covers the whole picture: anywhere else it moves the window.
    return kMouseDragWindow;
}

void ReadingGuideModel::mouseDown(GuidePoint point)
{
    m_mouseDragMode = dragModeForPoint(point);
    handleContinuingMouseDragWithDeltaX(0, 0);
}

double ReadingGuideModel::takeWholeSteps(double &accumulator, double unit)
{
    // A zero-sized view has a zero step: nothing to convert, and no division.
    if (!(unit > 0))
        return 0;
    const double n = std::trunc(accumulator / unit);
    if (n == 0 || !std::isfinite(n))
        return 0;
    accumulator -= n * unit;
    return n;
}

void ReadingGuideModel::handleContinuingMouseDragWithDeltaX(double dx, double dy)
{
    if (!std::isfinite(dx) || !std::isfinite(dy))
        return;

    // The first line of a pair moves against the pointer's axis direction
    // and the second with it, so that dragging either one outward widens the
    // pair. Only the dragged axis accumulates: the other axis's accumulator
    // is drawn as an offset of its lines, and pointer motion across the
    // dragged lines would pile up there unconverted and displace (even
    // cross) the lines of the other axis once it is shown.
    switch (m_mouseDragMode) {
    case kMouseDragFirstHorizontalLine:
        m_dragAccumY -= dy;
        break;
    case kMouseDragSecondHorizontalLine:
        m_dragAccumY += dy;
        break;
    case kMouseDragFirstVerticalLine:
        m_dragAccumX -= dx;
        break;
    case kMouseDragSecondVerticalLine:
        m_dragAccumX += dx;
        break;
    default:
        break;
    }

    if (isLineMode(m_mouseDragMode)) {
        const bool horizontal =
            m_mouseDragMode == kMouseDragFirstHorizontalLine || m_mouseDragMode == kMouseDragSecondHorizontalLine;
        const double n = horizontal ? takeWholeSteps(m_dragAccumY, 2 * m_height / 100)
                                    : takeWholeSteps(m_dragAccumX, 2 * m_width / 100);
        // Steps past the limits are dropped: the setter ignores the value.
        // Worked out in double so that a huge step count cannot overflow.
        const double target = m_guideSeparation + n;
        if (n != 0 && target >= kMinGuideSeparation && target <= kMaxGuideSeparation)
            setGuideSeparation(static_cast<std::int32_t>(target));
        setNeedsDisplay();
    } else if (m_mouseDragMode == kMouseDragWindow) {
        if (m_mainWindowDelegate)
            m_mainWindowDelegate->windowWillMove();
        // Pointer deltas grow downward; the frame's y grows upward.
        if (m_surface)
            m_surface->moveWindowFrameBy(dx, -dy);
    } else if (m_mouseDragMode == kMouseDragNone) {
        setNeedsDisplay();
    }
}

void ReadingGuideModel::mouseUp()
{
    m_mouseDragMode = kMouseDragNone;
    savePreferences();
}

void ReadingGuideModel::scrollWheel(double deltaX, double deltaY, bool directionInvertedFromDevice)
{
    double *accumulator;
    double unit;
    double delta;
    if (m_horizontalReadingGuideMode != kReadingGuideModeNone) {
        accumulator = &m_scrollAccumY;
        unit = m_height * 0.5 / 100;
        delta = deltaY;
    } else if (m_verticalReadingGuideMode != kReadingGuideModeNone) {
        accumulator = &m_scrollAccumX;
        unit = m_width * 0.5 / 100;
        delta = deltaX;
    } else {
        return;
    }
    if (!std::isfinite(delta))
        return;

    // Rolling the wheel toward the user moves the pair down (or right),
    // whichever way the system presents the scroll direction.
    if (directionInvertedFromDevice)
        *accumulator += delta;
    else
        *accumulator -= delta;

    const double n = takeWholeSteps(*accumulator, unit);
    if (n == 0)
        return;
    // The clamp may limit the move; the taken steps are gone either way, so
    // the accumulator keeps only the sub-step remainder. Clamped in double
    // first so that a huge step count cannot overflow.
    const double limit = scrollPositionLimit();
    setScrollPosition(static_cast<std::int32_t>(std::clamp(m_scrollPosition + n, -limit, limit)));
}

void ReadingGuideModel::beginGesture()
{
    m_mouseDragMode = m_horizontalReadingGuideMode != kReadingGuideModeNone ? kMouseDragFirstHorizontalLine
                                                                            : kMouseDragSecondVerticalLine;
}

void ReadingGuideModel::rotateWithDegrees(double rotationDegrees)
{
    systemLog("Set rotation to %lf\n", rotationDegrees);
    // Turning counter-clockwise narrows the pair, clockwise widens it.
    handleContinuingMouseDragWithDeltaX(-rotationDegrees, rotationDegrees);
}

void ReadingGuideModel::endGesture()
{
    m_mouseDragMode = kMouseDragNone;
}

void ReadingGuideModel::setNeedsDisplay()
{
    if (m_surface)
        m_surface->setNeedsDisplay();
}

void ReadingGuideModel::savePreferences()
{
    if (m_mainWindowDelegate)
        m_mainWindowDelegate->savePreferences();
}

} // namespace kelvo::guides
