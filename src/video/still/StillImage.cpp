#include "video/still/StillImage.h"

#include <memory>
#include <vector>

namespace kelvo::video {

namespace {

using SharedPixels = std::shared_ptr<const std::vector<std::uint8_t>>;

void releasePixels(void *keeper)
{
    delete static_cast<SharedPixels *>(keeper);
}

} // namespace

QImage stillQImage(const FreezeFrameImage &picture)
{
    if (picture.isNull()) {
        return {};
    }
    auto *keeper = new SharedPixels(picture.pixels);
    QImage image(picture.pixels->data(), picture.width, picture.height, static_cast<qsizetype>(picture.bytesPerRow()),
                 QImage::Format_RGB888, releasePixels, keeper);
    if (image.isNull()) {
        delete keeper;
    }
    return image;
}

} // namespace kelvo::video
