#pragma once

#include "guides/GuideLineGeometry.h"

#include <cstdint>

namespace kelvo::guides {

// What the reading-guide overlay needs of the viewer controller. The
// controller (MainWindowDelegate) implements it and owns the overlay; the
// overlay keeps a non-owning pointer and never stores settings itself.
// Thread: main thread only.
class LineOverlayDelegate {
public:
    virtual ~LineOverlayDelegate() = default;

    // The zoom level to return to after locating, 0 while not locating.
    virtual std::int32_t savedZoomLevel() const = 0;
    virtual bool isFullScreen() const = 0;
    // Frame of the screen chosen for full screen (screenForFullScreenMode),
    // or of the main screen when none was chosen. Any origin will do: the
    // overlay only compares its size with fullScreenRectForScreenFrame's.
    virtual GuideRect fullScreenScreenFrame() const = 0;
    // The rectangle the video occupies in full screen on a screen with this
    // frame (getFullScreenRectForScreen:).
    virtual GuideRect fullScreenRectForScreenFrame(const GuideRect &screenFrame) const = 0;
    // True in the colour modes with a black background.
    virtual bool isInInverseColorMode() const = 0;

    // The zoom dial flags: while one is set the camera's zoom buttons move
    // the guides or change their spacing instead of zooming.
    virtual bool zoomScrollsGuides() const = 0;
    virtual void setZoomScrollsGuides(bool value) = 0;
    virtual bool zoomChangesGuideSpacing() const = 0;
    virtual void setZoomChangesGuideSpacing(bool value) = 0;

    // Writes the whole remembered state, guides included.
    virtual void savePreferences() = 0;
    // The user is about to move the window by dragging the picture; the
    // controller clears its docking flags as for any user move.
    virtual void windowWillMove() = 0;
};

} // namespace kelvo::guides
