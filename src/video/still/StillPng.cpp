#include "video/still/StillPng.h"

#include <QFile>
#include <QFileInfo>

#include <png.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <string>
#include <unistd.h>

namespace kelvo::video {

namespace {

// A big-endian TIFF header and one IFD with the Orientation tag (0x0112,
// SHORT, one value), as the eXIf chunk carries it: no "Exif" prefix.
std::vector<std::uint8_t> exifOrientationBlock(int orientation)
{
    const auto n = static_cast<std::uint8_t>(orientation);
    return {
        'M',  'M',  0x00, 0x2A, 0x00, 0x00, 0x00, 0x08,                      // byte order, magic, offset of the IFD
        0x00, 0x01,                                                          // one entry
        0x01, 0x12, 0x00, 0x03, 0x00, 0x00, 0x00, 0x01, 0x00, n, 0x00, 0x00, // Orientation = n
        0x00, 0x00, 0x00, 0x00,                                              // no further IFD
    };
}

struct PngOutput {
    std::vector<std::uint8_t> *bytes;
    char message[256];
};

void appendPngBytes(png_structp png, png_bytep data, size_t length)
{
    auto *out = static_cast<PngOutput *>(png_get_io_ptr(png));
    // No C++ exception may unwind through libpng's C frames.
    try {
        out->bytes->insert(out->bytes->end(), data, data + length);
    } catch (...) {
        png_error(png, "out of memory");
    }
}

void flushNothing(png_structp) {}

void recordPngError(png_structp png, png_const_charp message)
{
    auto *out = static_cast<PngOutput *>(png_get_error_ptr(png));
    std::snprintf(out->message, sizeof out->message, "%s", message);
    png_longjmp(png, 1);
}

void ignorePngWarning(png_structp, png_const_charp) {}

// libpng reports errors by longjmp: everything that lives across setjmp here
// is plain data owned by the caller.
bool encodeWithLibpng(const FreezeFrameImage &picture, const std::uint8_t *exif, std::uint32_t exifSize, PngOutput *out)
{
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, out, recordPngError, ignorePngWarning);
    if (png == nullptr) {
        std::snprintf(out->message, sizeof out->message, "cannot start the PNG encoder");
        return false;
    }
    png_infop info = png_create_info_struct(png);
    if (info == nullptr || setjmp(png_jmpbuf(png)) != 0) {
        png_destroy_write_struct(&png, &info);
        if (out->message[0] == '\0') {
            std::snprintf(out->message, sizeof out->message, "cannot start the PNG encoder");
        }
        return false;
    }
    png_set_write_fn(png, out, appendPngBytes, flushNothing);
    png_set_IHDR(png, info, static_cast<png_uint_32>(picture.width), static_cast<png_uint_32>(picture.height), 8,
                 PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_eXIf_1(png, info, exifSize, const_cast<png_bytep>(exif));
    png_write_info(png, info);
    for (int y = 0; y < picture.height; ++y) {
        png_write_row(png, picture.row(y));
    }
    // Every chunk went out with the header; libpng 1.6 would write eXIf a
    // second time after the image data if handed the info again.
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

QString errnoText(const char *step, int error)
{
    return QStringLiteral("%1: %2").arg(QString::fromLatin1(step), QString::fromLocal8Bit(std::strerror(error)));
}

bool writeAll(int fd, const std::uint8_t *data, std::size_t size)
{
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

} // namespace

int exifOrientationForVideoOrientation(std::int64_t videoOrientation)
{
    switch (videoOrientation) {
    case 2:
        return 3;
    case 3:
        return 4;
    case 4:
        return 2;
    default:
        return 1;
    }
}

std::vector<std::uint8_t> encodeStillPng(const FreezeFrameImage &picture, int exifOrientation, QString *error)
{
    std::vector<std::uint8_t> bytes;
    if (picture.isNull()) {
        if (error) {
            *error = QStringLiteral("there is no picture");
        }
        return bytes;
    }
    const std::vector<std::uint8_t> exif = exifOrientationBlock(exifOrientation);
    PngOutput out{&bytes, {}};
    if (!encodeWithLibpng(picture, exif.data(), static_cast<std::uint32_t>(exif.size()), &out)) {
        if (error) {
            *error = QString::fromUtf8(out.message);
        }
        bytes.clear();
    }
    return bytes;
}

bool writeFileAtomically(const QString &path, const std::vector<std::uint8_t> &bytes, QString *error)
{
    const QFileInfo target(path);
    const QByteArray finalName = QFile::encodeName(target.absoluteFilePath());
    const QByteArray folder = QFile::encodeName(target.absolutePath());

    // O_EXCL with a fresh name each try: no one else's file is ever opened,
    // and the usual creation mode (0666 less the umask) applies. The name is
    // short and independent of the final one, so any name the file system
    // accepts (up to 255 bytes) can be written.
    std::random_device random;
    QByteArray tempName;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        tempName = folder + "/.kelvo-" + QByteArray::number(random(), 36) + ".tmp";
        fd = ::open(tempName.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) {
            break;
        }
    }
    if (fd < 0) {
        if (error) {
            *error = errnoText("cannot create the file", errno);
        }
        return false;
    }
    const auto fail = [&](const char *step) {
        const int saved = errno;
        if (fd >= 0) {
            ::close(fd);
        }
        ::unlink(tempName.constData());
        if (error) {
            *error = errnoText(step, saved);
        }
        return false;
    };
    if (!writeAll(fd, bytes.data(), bytes.size())) {
        return fail("cannot write the file");
    }
    if (::fsync(fd) != 0) {
        return fail("cannot flush the file to disk");
    }
    const int closed = ::close(fd);
    fd = -1;
    if (closed != 0) {
        return fail("cannot close the file");
    }
    if (::rename(tempName.constData(), finalName.constData()) != 0) {
        return fail("cannot replace the file");
    }
    // The rename itself reaches the disk with the folder's entry.
    const int dirFd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return true;
}

bool writeStillPng(const FreezeFrameImage &picture, std::int64_t videoOrientation, const QString &path, QString *error)
{
    const std::vector<std::uint8_t> png =
        encodeStillPng(picture, exifOrientationForVideoOrientation(videoOrientation), error);
    if (png.empty()) {
        return false;
    }
    return writeFileAtomically(path, png, error);
}

} // namespace kelvo::video
