#pragma once

#include "video/ColourMode.h"
#include "video/ImageFilter.h"

#include <cstdint>
#include <optional>

namespace kelvo::video {

struct SizeD {
    double width = 0;
    double height = 0;
    bool operator==(const SizeD &) const = default;
};

// What the controller's fields say when the filters are rebuilt.
struct ImageFilterInputs {
    ColourModeSelection colour;
    bool isMirrored = false;
    std::int64_t videoOrientation = 1;
    std::int64_t videoOrientationWhenFrozen = 1;
    // Bounds of the preview view; none when there is no preview view.
    std::optional<SizeD> previewViewSize;
    // Width of the freeze-frame view's layer.
    double freezeFrameLayerWidth = 0;
    // Frame of the video window; all zero when there is no window.
    SizeD videoWindowSize;
};

// The filters installed on the two views. The preview view's list colours
// and zooms the live and the frozen picture; the freeze-frame view's own list
// only mirrors the frozen picture.
struct ImageFilterState {
    ImageFilterList previewFilters;
    ImageFilterList freezeFrameFilters;
};

// What the filter chain needs of the viewer controller (MainWindowDelegate),
// which owns the chain and implements this. Main thread only.
class ImageFilterHost {
public:
    virtual ~ImageFilterHost() = default;
    virtual ImageFilterInputs imageFilterInputs() const = 0;
    // The controller's setter of the preferred index; it rebuilds the filters.
    virtual void setChosenPreferredColorMode(std::int64_t index) = 0;
    // Puts the lists on the preview view (VideoView::setPreviewFilters) and
    // the freeze-frame view, and lays the freeze-frame view out again.
    virtual void installImageFilters(const ImageFilterState &state) = 0;
    // Exchanges the window's width and height.
    virtual void rotateWindow() = 0;
    // Replaces the freeze-frame view's picture by the same picture turned from
    // fromOrientation to the current orientation; without a picture, nothing.
    virtual void rotateFrozenPicture(std::int64_t fromOrientation) = 0;
    virtual void setVideoOrientationWhenFrozen(std::int64_t orientation) = 0;
    // Fits the window to the picture.
    virtual void setWindowAspectRatio() = 0;
};

// Rebuilds the colour, zoom and mirror filters from the controller's state
// and keeps the digital zoom level. Owned by the controller; main thread.
class ImageFilterChain {
public:
    static constexpr double kMinDigitalZoom = 1.0;
    static constexpr double kMaxDigitalZoom = 5.0;

    explicit ImageFilterChain(ImageFilterHost &host) : m_host(host) {}

    double digitalZoomLevel() const { return m_digitalZoomLevel; }
    // A level within 1.0..5.0 is stored and the filters are rebuilt; any
    // other value (NaN included) is ignored.
    void setDigitalZoomLevel(double level);

    // Rebuilds and installs every filter, then keeps the window's shape and
    // the frozen picture in step with the orientation.
    void setImageFilters();

    // The lists installed last.
    const ImageFilterState &installedState() const { return m_installed; }

    // Enlargement by zoom about the centre of a w × h view.
    static AffineTransform zoomTransform(double w, double h, double zoom);
    // Left-right mirror within a layer of the given width.
    static AffineTransform mirrorTransform(double width);
    // Whether a window of this size has the wrong shape for the orientation:
    // 1 and 2 want it no taller than wide, the quarter turns no wider than tall.
    static bool windowNeedsRotation(std::int64_t videoOrientation, SizeD window);

private:
    ImageFilterHost &m_host;
    double m_digitalZoomLevel = 1.0;
    ImageFilterState m_installed;
};

} // namespace kelvo::video
