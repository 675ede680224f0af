#pragma once

#include "video/FreezeFrameImage.h"

#include <QString>

#include <cstdint>
#include <vector>

namespace kelvo::video {

// The EXIF orientation entry written with a still for a videoOrientation:
// 1 for 1, 3 for 2, 4 for 3, 2 for 4, and 1 for any other value.
int exifOrientationForVideoOrientation(std::int64_t videoOrientation);

// The picture as PNG bytes: 8-bit RGB, no alpha, with an eXIf chunk holding a
// TIFF header and the one Orientation tag. Empty, with the reason in error,
// when libpng refuses.
std::vector<std::uint8_t> encodeStillPng(const FreezeFrameImage &picture, int exifOrientation, QString *error);

// Writes the bytes so that path holds either its old content or all of the
// new: a temporary file in the same folder, flushed to disk, then renamed
// over path. Answers false, with the reason in error and nothing left behind,
// when any step fails.
bool writeFileAtomically(const QString &path, const std::vector<std::uint8_t> &bytes, QString *error);

// Encodes the still for the given videoOrientation and writes it atomically.
bool writeStillPng(const FreezeFrameImage &picture, std::int64_t videoOrientation, const QString &path, QString *error);

} // namespace kelvo::video
