#pragma once

#include "guides/ReadingGuideSurface.h"

namespace kelvo::guides::testing {

// Stands in for the Qt view: counts redraws, keeps the last menu state and
// adds up window moves.
struct RecordingSurface : ReadingGuideSurface {
    int redraws = 0;
    ReadingGuideMenuState lastMenu;
    double movedX = 0, movedYUp = 0;
    void setNeedsDisplay() override { ++redraws; }
    void applyReadingGuideMenuState(const ReadingGuideMenuState &state) override { lastMenu = state; }
    void moveWindowFrameBy(double dx, double dyUp) override { movedX += dx, movedYUp += dyUp; }
};

} // namespace kelvo::guides::testing
