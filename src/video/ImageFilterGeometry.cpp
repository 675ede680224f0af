#include "video/ImageFilterGeometry.h"

#include <algorithm>

namespace kelvo::video {

namespace {

bool isQuarterTurn(std::int64_t o)
{
    return o == 3 || o == 4;
}

} // namespace

SizeD orientedSize(double frameWidth, double frameHeight, std::int64_t videoOrientation)
{
    return isQuarterTurn(videoOrientation) ? SizeD{frameHeight, frameWidth} : SizeD{frameWidth, frameHeight};
}

AffineTransform orientationTransform(double w, double h, std::int64_t videoOrientation)
{
    AffineTransform t;
    switch (videoOrientation) {
    case 2: // half turn
        t = {-1, 0, 0, -1, w, h};
        break;
    case 3: // quarter turn counter-clockwise: the top edge becomes the left edge
        t = {0, -1, 1, 0, 0, w};
        break;
    case 4: // three quarters counter-clockwise: the top edge becomes the right edge
        t = {0, 1, -1, 0, h, 0};
        break;
    default:
        break;
    }
    return t;
}

AffineTransform filterTransformInViewCoordinates(const AffineTransform &filter, double viewHeight)
{
    const AffineTransform flip{1, 0, 0, -1, 0, viewHeight};
    return flip.then(filter).then(flip);
}

AffineTransform framePresentationTransform(double frameWidth, double frameHeight, std::int64_t videoOrientation,
                                           bool mirrored, SizeD view, const ImageFilterList &previewFilters)
{
    AffineTransform t = orientationTransform(frameWidth, frameHeight, videoOrientation);
    const SizeD picture = orientedSize(frameWidth, frameHeight, videoOrientation);
    if (mirrored) {
        t = t.then(AffineTransform{-1, 0, 0, 1, picture.width, 0});
    }
    if (picture.width > 0 && picture.height > 0 && view.width > 0 && view.height > 0) {
        const double scale = std::min(view.width / picture.width, view.height / picture.height);
        const double dx = (view.width - picture.width * scale) / 2;
        const double dy = (view.height - picture.height * scale) / 2;
        t = t.then(AffineTransform{scale, 0, 0, scale, dx, dy});
    }
    for (const ImageFilter &filter : previewFilters) {
        if (const auto *affine = std::get_if<AffineTransformFilter>(&filter)) {
            t = t.then(filterTransformInViewCoordinates(affine->inputTransform, view.height));
        }
    }
    return t;
}

} // namespace kelvo::video
