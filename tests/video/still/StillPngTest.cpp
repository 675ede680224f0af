#include "StillPngReader.h"

#include "video/still/StillImage.h"
#include "video/still/StillPng.h"

#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <random>
#include <sys/resource.h>

using namespace kelvo::video;
using kelvo::video::test::exifOrientation;
using kelvo::video::test::readPng;

namespace {

FreezeFrameImage noisePicture(int width, int height, unsigned seed)
{
    std::mt19937 rng(seed);
    auto bytes = std::make_shared<std::vector<std::uint8_t>>(std::size_t(width) * height * 3);
    for (auto &b : *bytes) {
        b = std::uint8_t(rng());
    }
    return {width, height, bytes};
}

QByteArray fileContents(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

TEST(StillPng, FileReadsBackWithItsPixelsAndOrientationEntry)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const FreezeFrameImage picture = noisePicture(7, 5, 1);
    struct Case {
        std::int64_t videoOrientation;
        int exif;
    };
    const Case cases[] = {{1, 1}, {2, 3}, {3, 4}, {4, 2}, {0, 1}, {9, 1}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.videoOrientation);
        const QString path = dir.filePath(QStringLiteral("still-%1.png").arg(c.videoOrientation));
        QString error;
        ASSERT_TRUE(writeStillPng(picture, c.videoOrientation, path, &error)) << error.toStdString();
        const auto png = readPng(path);
        ASSERT_TRUE(png.ok);
        EXPECT_EQ(png.width, 7);
        EXPECT_EQ(png.height, 5);
        EXPECT_EQ(png.bitDepth, 8);
        EXPECT_EQ(png.colourType, PNG_COLOR_TYPE_RGB);
        EXPECT_EQ(png.rgb, *picture.pixels);
        EXPECT_EQ(exifOrientation(png.exif), c.exif);
        EXPECT_EQ(kelvo::video::test::countChunks(path, "eXIf"), 1);
        EXPECT_EQ(exifOrientationForVideoOrientation(c.videoOrientation), c.exif);
    }
    // Nothing but the files themselves is left in the folder.
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), std::size(cases));
}

TEST(StillPng, ExiftoolReadsOrientationFourForOrientationThree)
{
    const QString exiftool = QStandardPaths::findExecutable(QStringLiteral("exiftool"));
    if (exiftool.isEmpty()) {
        GTEST_SKIP() << "exiftool is not on PATH";
    }
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Untitled.png"));
    ASSERT_TRUE(writeStillPng(noisePicture(4, 6, 2), 3, path, nullptr));
    QProcess process;
    process.start(exiftool, {QStringLiteral("-Orientation"), QStringLiteral("-n"), QStringLiteral("-s3"), path});
    ASSERT_TRUE(process.waitForFinished(30000));
    EXPECT_EQ(process.readAllStandardOutput().trimmed(), QByteArray("4"));
}

TEST(StillPng, ReplacingAFileLeavesOnlyTheNewPicture)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Untitled.png"));
    {
        QFile old(path);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("old picture");
    }
    ASSERT_TRUE(writeStillPng(noisePicture(3, 3, 3), 1, path, nullptr));
    EXPECT_EQ(readPng(path).width, 3);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("Untitled.png")});

    // The longest name a folder takes: the temporary name must not be longer.
    const QString longest = QString(251, QLatin1Char('n')) + QStringLiteral(".png");
    QString error;
    ASSERT_TRUE(writeStillPng(noisePicture(3, 3, 3), 1, dir.filePath(longest), &error)) << error.toStdString();
    QStringList names = QDir(dir.path()).entryList(QDir::Files | QDir::Hidden);
    names.sort();
    EXPECT_EQ(names, (QStringList{QStringLiteral("Untitled.png"), longest}));
}

// Root may write into any folder, so an unwritable destination is made as a
// path below a regular file, which no one can create.
TEST(StillPng, UnwritableFolderFailsWithAReason)
{
    QTemporaryDir dir;
    const QString notAFolder = dir.filePath(QStringLiteral("plain-file"));
    {
        QFile f(notAFolder);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    const QString path = notAFolder + QStringLiteral("/Untitled.png");
    QString error;
    EXPECT_FALSE(writeStillPng(noisePicture(3, 3, 4), 1, path, &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(QFile::exists(path));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("plain-file")});

    EXPECT_FALSE(writeStillPng(FreezeFrameImage{}, 1, dir.filePath(QStringLiteral("none.png")), &error));
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("none.png"))));
}

// A full disk, simulated with a file size limit: the write fails part way,
// and the old file is kept whole.
TEST(StillPng, FullDiskKeepsTheOldFileAndLeavesNoTemporaryFile)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Untitled.png"));
    {
        QFile old(path);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("old picture");
    }
    const FreezeFrameImage picture = noisePicture(64, 64, 5); // noise does not compress: > 12 KB

    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = saved;
    limited.rlim_cur = 4096;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    QString error;
    const bool written = writeStillPng(picture, 1, path, &error);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);

    EXPECT_FALSE(written);
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(fileContents(path), QByteArray("old picture"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("Untitled.png")});
}

TEST(StillImage, QImageOutlivesThePictureItWasMadeFrom)
{
    QImage image;
    {
        const FreezeFrameImage picture = noisePicture(5, 3, 6);
        image = stillQImage(picture);
        ASSERT_EQ(image.size(), QSize(5, 3));
        for (int y = 0; y < 3; ++y) {
            for (int x = 0; x < 5; ++x) {
                const Rgb8 p = picture.pixel(x, y);
                ASSERT_EQ(image.pixel(x, y), qRgb(p.r, p.g, p.b)) << x << "," << y;
            }
        }
    }
    // The pixels are still there once the picture is gone (the sanitizer
    // would catch a read of freed memory).
    const Rgb8 last = noisePicture(5, 3, 6).pixel(4, 2);
    EXPECT_EQ(image.pixel(4, 2), qRgb(last.r, last.g, last.b));
    EXPECT_TRUE(stillQImage(FreezeFrameImage{}).isNull());
}

} // namespace
