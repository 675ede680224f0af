#pragma once

#include "guides/ReadingGuideMenuState.h"

namespace kelvo::guides {

// What ReadingGuideModel asks of the view that shows it: the Qt overlay
// implements it, tests use a recording fake. Thread: main thread only.
class ReadingGuideSurface {
public:
    virtual ~ReadingGuideSurface() = default;

    // Schedules a repaint of the whole overlay.
    virtual void setNeedsDisplay() = 0;
    // Applies enabling and check marks to the guide menu of the menu bar.
    virtual void applyReadingGuideMenuState(const ReadingGuideMenuState &state) = 0;
    // Moves the overlay's window by dx to the right and dyUp upward.
    virtual void moveWindowFrameBy(double dx, double dyUp) = 0;
};

} // namespace kelvo::guides
