#pragma once

#include "video/FreezeFrameImage.h"

#include <QImage>

namespace kelvo::video {

// The picture as a read-only QImage (Format_RGB888) over the same pixels,
// which stay alive as long as the image or a copy of it does; a null image
// for nothing. For VideoView::setStillPicture.
QImage stillQImage(const FreezeFrameImage &picture);

} // namespace kelvo::video
