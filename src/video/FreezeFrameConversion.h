#pragma once

#include "video/FreezeFrameImage.h"
#include "video/VideoFrame.h"

#include <cstdint>

namespace kelvo::video {

// Turns one camera frame into a picture as the camera sent it, not yet turned
// to the viewer's orientation, with the shared BT.601 arithmetic of
// FrameConversion. With deinterlace, a packed (UYVY) frame keeps its even
// field: even rows are copied, each odd row is the byte-wise average, rounded
// down, of the even rows above and below it, and an odd row with no even row
// two below its own source repeats the row above it. Bi-planar frames are
// never deinterlaced. The last column of an odd-width packed frame, which has
// no complete pair, repeats its left neighbour (black in a frame one pixel
// wide).
//
// Answers nothing (a null image) for a frame without picture data (logged
// "Skipped Audio Buffer\n"), a YUY2 frame (silently), a frame of any other
// format (logged "Unknown format: %4s\n" with its code) and a frame whose
// rows are too short for its size. Stops the program with "imageRep != NULL"
// when the picture's memory cannot be had. Any thread; main thread in use.
FreezeFrameImage convertFreezeFrame(const VideoFrame &frame, bool deinterlace);

// The counter-clockwise turn, in degrees, that an orientation value stands
// for: 1 → 0, 2 → 180, 3 → 90, 4 → 270; any other value 0.
int orientationAngle(std::int64_t orientation);

// The turn from one orientation to another, angle(to) − angle(from), in
// −270..270 degrees.
int rotationAngleBetween(std::int64_t fromOrientation, std::int64_t toOrientation);

// The picture turned counter-clockwise (as seen on screen) by angleDegrees, a
// multiple of 90; width and height swap for quarter turns. A turn of a whole
// number of rounds answers the same pixels without copying them. A null
// picture gives a null picture.
FreezeFrameImage turnFreezeFrameImage(const FreezeFrameImage &image, int angleDegrees);

} // namespace kelvo::video
