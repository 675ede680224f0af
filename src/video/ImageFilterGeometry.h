#pragma once

#include "video/ImageFilter.h"
#include "video/ImageFilterChain.h"

#include <cstdint>

namespace kelvo::video {

// Where the camera picture lands in the preview view. Coordinates here are
// the renderer's: origin at the top left, y down, in pixels of the frame and
// of the view. The frame is turned counter-clockwise by its orientation
// (1 → 0°, 2 → 180°, 3 → 90°, 4 → 270°; any other value is upright), then
// mirrored left to right when asked (as the capture connection does for the
// live picture), then fitted into the view keeping its aspect and centred,
// and finally moved by the preview's affine filters (the digital zoom).

// The frame's size once turned.
SizeD orientedSize(double frameWidth, double frameHeight, std::int64_t videoOrientation);

// Frame coordinates to turned-picture coordinates.
AffineTransform orientationTransform(double frameWidth, double frameHeight, std::int64_t videoOrientation);

// Converts an affine filter given in the filters' own coordinates (origin at
// the bottom left, y up) into the renderer's for a view of this height.
AffineTransform filterTransformInViewCoordinates(const AffineTransform &filter, double viewHeight);

// Frame coordinates to view coordinates, all steps above. The affine filters
// of the list are applied in order; its colour filters are ignored.
AffineTransform framePresentationTransform(double frameWidth, double frameHeight, std::int64_t videoOrientation,
                                           bool mirrored, SizeD view, const ImageFilterList &previewFilters);

} // namespace kelvo::video
