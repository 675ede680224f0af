#pragma once

#include "guides/LineOverlayDelegate.h"

namespace kelvo::guides::testing {

// Stands in for the viewer controller: answers from its public fields and
// counts what the overlay asks it to do.
struct FakeLineOverlayDelegate : LineOverlayDelegate {
    std::int32_t savedZoom = 0;
    bool fullScreen = false;
    GuideRect screenFrame;
    GuideRect videoRect;
    bool inverse = false;
    bool scrollsGuides = false;
    bool changesSpacing = false;
    int saves = 0;
    int windowWillMoves = 0;

    std::int32_t savedZoomLevel() const override { return savedZoom; }
    bool isFullScreen() const override { return fullScreen; }
    GuideRect fullScreenScreenFrame() const override { return screenFrame; }
    GuideRect fullScreenRectForScreenFrame(const GuideRect &frame) const override
    {
        return frame == screenFrame ? videoRect : GuideRect{};
    }
    bool isInInverseColorMode() const override { return inverse; }
    bool zoomScrollsGuides() const override { return scrollsGuides; }
    void setZoomScrollsGuides(bool value) override { scrollsGuides = value; }
    bool zoomChangesGuideSpacing() const override { return changesSpacing; }
    void setZoomChangesGuideSpacing(bool value) override { changesSpacing = value; }
    void savePreferences() override { ++saves; }
    void windowWillMove() override { ++windowWillMoves; }
};

} // namespace kelvo::guides::testing
