#include "video/ImageFilterChain.h"

namespace kelvo::video {

void ImageFilterChain::setDigitalZoomLevel(double level)
{
    if (!(level >= kMinDigitalZoom && level <= kMaxDigitalZoom)) {
        return;
    }
    m_digitalZoomLevel = level;
    setImageFilters();
}

AffineTransform ImageFilterChain::zoomTransform(double w, double h, double zoom)
{
    return AffineTransform::identity().translated(w * 0.5, h * 0.5).scaled(zoom, zoom).translated(w * -0.5, h * -0.5);
}

AffineTransform ImageFilterChain::mirrorTransform(double width)
{
    return AffineTransform::identity().scaled(-1, 1).translated(-width, 0);
}

bool ImageFilterChain::windowNeedsRotation(std::int64_t videoOrientation, SizeD window)
{
    if (videoOrientation == 1 || videoOrientation == 2) {
        return window.height > window.width;
    }
    return window.width > window.height;
}

void ImageFilterChain::setImageFilters()
{
    ImageFilterState state;

    // The mode is read first: repairing a stale preferred index goes through
    // the controller's setter, which rebuilds (and installs) the filters of the
    // repaired mode before this pass goes on with "Normal".
    const ImageFilterInputs before = m_host.imageFilterInputs();
    const std::int64_t mode =
        currentColorMode(before.colour, [this](std::int64_t index) { m_host.setChosenPreferredColorMode(index); });
    state.previewFilters = getColorModeFilters(mode);

    // Everything else is read after that, so a nested rebuild's changes (the
    // frozen picture's orientation above all) are not undone with stale values.
    const ImageFilterInputs in = m_host.imageFilterInputs();
    if (m_digitalZoomLevel > 1.0) {
        const SizeD view = in.previewViewSize.value_or(SizeD{});
        state.previewFilters.push_back(
            AffineTransformFilter{zoomTransform(view.width, view.height, m_digitalZoomLevel)});
    }
    if (in.isMirrored) {
        state.freezeFrameFilters.push_back(AffineTransformFilter{mirrorTransform(in.freezeFrameLayerWidth)});
    }
    m_installed = state;
    m_host.installImageFilters(m_installed);

    if (windowNeedsRotation(in.videoOrientation, in.videoWindowSize)) {
        m_host.rotateWindow();
    }

    m_host.rotateFrozenPicture(in.videoOrientationWhenFrozen);
    m_host.setVideoOrientationWhenFrozen(in.videoOrientation);

    m_host.setWindowAspectRatio();
}

} // namespace kelvo::video
