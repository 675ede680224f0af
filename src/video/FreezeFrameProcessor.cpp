#include "video/FreezeFrameProcessor.h"

#include "common/SystemLog.h"
#include "video/FreezeFrameConversion.h"

#include <QMetaObject>

#include <utility>

namespace kelvo::video {

FreezeFrameProcessor::FreezeFrameProcessor(FreezeFrameHost &host) : m_host(host) {}

void FreezeFrameProcessor::handleVideoFrame(const VideoFrame &frame)
{
    if (m_host.waitingToFreeze()) {
        takeStill(frame);
    }
    if (m_host.enableDeinterlacing() && !m_host.isFrozen()) {
        showLiveDeinterlaced(frame);
    }
}

void FreezeFrameProcessor::takeStill(const VideoFrame &frame)
{
    const FreezeFrameImage picture = freezeFrameWithBuffer(frame, m_host.enableDeinterlacing());
    const std::int64_t orientation = m_host.videoOrientation();
    m_host.setVideoOrientationWhenFrozen(orientation);
    // A frame without a picture leaves the freeze pending, so the next frame
    // is tried.
    if (picture.isNull() || !m_host.takeWaitingToFreeze()) {
        return;
    }
    systemLog("Got still image.\n");
    QMetaObject::invokeMethod(
        &m_postContext,
        [this, picture, orientation] {
            // Unfrozen (or frozen anew) before this ran: showing the old
            // still now would hide the live picture behind a freeze the
            // viewer no longer has.
            if (!m_host.isFrozen() || m_host.waitingToFreeze()) {
                return;
            }
            keepAndShow(picture, orientation);
            if (m_host.waitingToSave()) {
                m_host.finishSavingFreezeFrame();
            }
        },
        Qt::QueuedConnection);
}

void FreezeFrameProcessor::showLiveDeinterlaced(const VideoFrame &frame)
{
    const FreezeFrameImage picture = freezeFrameWithBuffer(frame, true);
    if (picture.isNull()) {
        return;
    }
    const std::int64_t orientation = m_host.videoOrientation();
    QMetaObject::invokeMethod(
        &m_postContext,
        [this, picture, orientation] {
            // A freeze or the end of deinterlacing since this frame came
            // owns the view now.
            if (m_host.isFrozen() || !m_host.enableDeinterlacing()) {
                return;
            }
            keepAndShow(picture, orientation);
        },
        Qt::QueuedConnection);
}

void FreezeFrameProcessor::keepAndShow(const FreezeFrameImage &picture, std::int64_t orientation)
{
    m_picture = picture;
    m_pictureOrientation = orientation;
    m_host.showFreezeFramePicture(m_picture);
}

FreezeFrameImage FreezeFrameProcessor::freezeFrameWithBuffer(const VideoFrame &frame, bool deinterlace) const
{
    // A picture is always turned to the current orientation when it is taken.
    return rotatedImageWithOriginalImage(convertFreezeFrame(frame, deinterlace), 1);
}

FreezeFrameImage FreezeFrameProcessor::rotatedImageWithOriginalImage(const FreezeFrameImage &image,
                                                                     std::int64_t fromOrientation) const
{
    if (image.isNull()) {
        return {};
    }
    const int angle = rotationAngleBetween(fromOrientation, m_host.videoOrientation());
    if (angle == 0) {
        return image;
    }
    systemLog("NEEDS ROTATION\n");
    return turnFreezeFrameImage(image, angle);
}

void FreezeFrameProcessor::rotateFrozenPicture(std::int64_t fromOrientation)
{
    if (m_picture.isNull()) {
        return;
    }
    m_picture = rotatedImageWithOriginalImage(m_picture, fromOrientation);
    m_pictureOrientation = m_host.videoOrientation();
    // Only a picture on screen is shown again; the live preview stays.
    const bool stillOnScreen = m_host.isFrozen() && !m_host.waitingToFreeze();
    if (stillOnScreen || m_host.enableDeinterlacing()) {
        m_host.showFreezeFramePicture(m_picture);
    }
}

void FreezeFrameProcessor::clearFreezeFramePicture()
{
    m_picture = {};
    m_pictureOrientation = 1;
}

} // namespace kelvo::video
