#pragma once

#include "video/FreezeFrameImage.h"

#include <QLocale>
#include <QPointF>
#include <QString>
#include <QStringList>

#include <array>
#include <atomic>
#include <vector>

namespace kelvo::video::text {

// One line of recognised text and where it lies in the picture that was
// given to the recogniser (pixels, y down), whatever scaling and deskewing
// happened on the way.
struct RecognisedLine {
    QString text;
    // Clockwise from the top left of the line as it was read.
    std::array<QPointF, 4> corners;
    float confidence = 0; // 0..100
};

struct RecognitionResult {
    enum class Outcome { Text, NoText, Cancelled, Failed };
    Outcome outcome = Outcome::NoText;
    // In reading order.
    std::vector<RecognisedLine> lines;
    // Why it failed, in words the user can act on.
    QString message;
    // How far the picture was turned back before reading it.
    double deskewDegrees = 0;

    // The lines, one per row.
    QString plainText() const;
};

struct RecognitionOptions {
    // The folder of the ".traineddata" files; empty means the installed one.
    QString dataPath;
    // Tesseract language codes; only those whose data exists are used.
    QStringList languages = {QStringLiteral("eng")};
    // Larger pictures are scaled down first: past this, recognition costs
    // time without reading small print any better.
    long long maxPixels = 12'000'000;
    // Recognition of a picture that is no page (noise, a texture) can run
    // for long; it gives up after this.
    int timeLimitMs = 30'000;
    // Lines Tesseract is less sure of are dropped as noise.
    float minimumConfidence = 45;
};

// TESSDATA_PREFIX, else the folder the distribution installs the data in.
QString defaultLanguageDataPath();

// English, and the desktop's language where its data is installed.
QStringList languagesForLocale(const QLocale &locale, const QString &dataPath);

// Reads the text of a picture (8-bit RGB as captured). Blocks for up to a
// few seconds: call it on a worker thread. Setting `cancel` makes it give up
// soon with Outcome::Cancelled. A picture of one flat colour answers NoText
// at once.
RecognitionResult recogniseText(const FreezeFrameImage &picture, const RecognitionOptions &options,
                                const std::atomic<bool> &cancel);

} // namespace kelvo::video::text
