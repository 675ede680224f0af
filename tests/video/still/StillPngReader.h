#pragma once

// Reads a PNG file back with libpng's own reader, independently of the
// writer under test: size, colour type, RGB pixels and the eXIf chunk.

#include <png.h>

#include <QFile>
#include <QString>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace kelvo::video::test {

struct ReadPng {
    bool ok = false;
    int width = 0, height = 0, bitDepth = 0, colourType = -1;
    std::vector<std::uint8_t> rgb; // 3 bytes per pixel, rows packed
    std::vector<std::uint8_t> exif;
};

inline ReadPng readPng(const QString &path)
{
    ReadPng result;
    FILE *file = std::fopen(QFile::encodeName(path).constData(), "rb");
    if (file == nullptr) {
        return result;
    }
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png)) != 0) {
        png_destroy_read_struct(&png, &info, nullptr);
        std::fclose(file);
        result.ok = false;
        return result;
    }
    png_init_io(png, file);
    png_read_info(png, info);
    result.width = int(png_get_image_width(png, info));
    result.height = int(png_get_image_height(png, info));
    result.bitDepth = png_get_bit_depth(png, info);
    result.colourType = png_get_color_type(png, info);
    result.rgb.resize(std::size_t(result.width) * result.height * 3);
    if (result.colourType == PNG_COLOR_TYPE_RGB && result.bitDepth == 8) {
        for (int y = 0; y < result.height; ++y) {
            png_read_row(png, result.rgb.data() + std::size_t(y) * result.width * 3, nullptr);
        }
    }
    png_read_end(png, info);
    png_bytep exif = nullptr;
    png_uint_32 exifSize = 0;
    if (png_get_eXIf_1(png, info, &exifSize, &exif) != 0 && exif != nullptr) {
        result.exif.assign(exif, exif + exifSize);
    }
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(file);
    result.ok = true;
    return result;
}

// How many chunks of a type the file holds, walking its chunk list.
inline int countChunks(const QString &path, const char type[4])
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return -1;
    }
    const QByteArray bytes = file.readAll();
    int count = 0;
    for (qsizetype at = 8; at + 12 <= bytes.size();) {
        const auto *p = reinterpret_cast<const std::uint8_t *>(bytes.constData() + at);
        const std::uint32_t length = (std::uint32_t(p[0]) << 24) | (p[1] << 16) | (p[2] << 8) | p[3];
        if (std::equal(p + 4, p + 8, type)) {
            ++count;
        }
        at += 12 + qsizetype(length);
    }
    return count;
}

// The Orientation tag (0x0112) of a TIFF block, or 0 when there is none.
inline int exifOrientation(const std::vector<std::uint8_t> &tiff)
{
    if (tiff.size() < 8) {
        return 0;
    }
    const bool big = tiff[0] == 'M';
    const auto u16 = [&](std::size_t at) {
        return big ? (tiff[at] << 8) | tiff[at + 1] : tiff[at] | (tiff[at + 1] << 8);
    };
    const auto u32 = [&](std::size_t at) {
        return big ? (std::uint32_t(u16(at)) << 16) | u16(at + 2) : u16(at) | (std::uint32_t(u16(at + 2)) << 16);
    };
    const std::size_t ifd = u32(4);
    if (ifd + 2 > tiff.size()) {
        return 0;
    }
    const int entries = u16(ifd);
    for (int i = 0; i < entries; ++i) {
        const std::size_t entry = ifd + 2 + 12 * std::size_t(i);
        if (entry + 12 > tiff.size()) {
            return 0;
        }
        if (u16(entry) == 0x0112 && u16(entry + 2) == 3) {
            return u16(entry + 8);
        }
    }
    return 0;
}

} // namespace kelvo::video::test
