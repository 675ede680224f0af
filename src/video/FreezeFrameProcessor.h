#pragma once

#include "video/FreezeFrameHost.h"
#include "video/FreezeFrameImage.h"
#include "video/VideoFrame.h"

#include <QObject>

#include <cstdint>

namespace kelvo::video {

// Makes the still picture of a freeze, and the live picture while
// deinterlacing is on, from the camera's frames; keeps the picture that the
// freeze-frame view shows and turns it when the orientation changes.
//
// Owned by the viewer controller, which passes every video frame to
// handleVideoFrame. Showing a picture (and opening the save dialog after it)
// is posted to the main thread's event loop, so it runs after the frame
// handler has returned. Lives on the main thread.
class FreezeFrameProcessor {
public:
    explicit FreezeFrameProcessor(FreezeFrameHost &host);
    FreezeFrameProcessor(const FreezeFrameProcessor &) = delete;
    FreezeFrameProcessor &operator=(const FreezeFrameProcessor &) = delete;

    // Steps of the frame handler that touch frames. While a freeze is
    // pending the frame becomes the still ("Got still image.\n"); a frame
    // that yields no picture leaves the freeze pending for the next one.
    // While deinterlacing is on and the picture is not frozen, the frame is
    // converted with deinterlacing and shown as the live picture.
    void handleVideoFrame(const VideoFrame &frame);

    // The frame as a picture turned to the current orientation, deinterlaced
    // if asked and the format allows; nothing (a null image) when the frame
    // yields no picture.
    FreezeFrameImage freezeFrameWithBuffer(const VideoFrame &frame, bool deinterlace) const;

    // The picture turned from fromOrientation to the current orientation;
    // "NEEDS ROTATION\n" is logged when it must be redrawn. Nothing for
    // nothing.
    FreezeFrameImage rotatedImageWithOriginalImage(const FreezeFrameImage &image, std::int64_t fromOrientation) const;

    // Turns the freeze-frame view's picture from fromOrientation to the
    // current orientation and shows it again if it is on screen.
    void rotateFrozenPicture(std::int64_t fromOrientation);

    // The freeze-frame view's picture (null before the first) and the
    // orientation it is turned to.
    const FreezeFrameImage &freezeFramePicture() const { return m_picture; }
    std::int64_t freezeFramePictureOrientation() const { return m_pictureOrientation; }

    // Forgets the picture, as dismantling the capture graph does.
    void clearFreezeFramePicture();

private:
    void takeStill(const VideoFrame &frame);
    void showLiveDeinterlaced(const VideoFrame &frame);
    void keepAndShow(const FreezeFrameImage &picture, std::int64_t orientation);

    FreezeFrameHost &m_host;
    // Context of the posted show steps: they are dropped with the processor.
    QObject m_postContext;
    FreezeFrameImage m_picture;
    std::int64_t m_pictureOrientation = 1;
};

} // namespace kelvo::video
