#include "video/text/TextRecognizer.h"

#include <QFileInfo>

#include <allheaders.h>
#include <tesseract/baseapi.h>
#include <tesseract/ocrclass.h>
#include <tesseract/resultiterator.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <numbers>

namespace kelvo::video::text {
namespace {

struct PixDeleter {
    void operator()(PIX *pix) const { pixDestroy(&pix); }
};
using PixPtr = std::unique_ptr<PIX, PixDeleter>;

bool hasLanguageData(const QString &dataPath, const QString &language)
{
    return QFileInfo::exists(dataPath + QLatin1Char('/') + language + QStringLiteral(".traineddata"));
}

// Grey by the usual luma weights; also answers the picture's range of grey.
PixPtr greyPix(const FreezeFrameImage &picture, int &darkest, int &brightest)
{
    PixPtr pix(pixCreate(picture.width, picture.height, 8));
    l_uint32 *data = pixGetData(pix.get());
    const int wordsPerLine = pixGetWpl(pix.get());
    darkest = 255;
    brightest = 0;
    for (int y = 0; y < picture.height; ++y) {
        const std::uint8_t *in = picture.row(y);
        l_uint32 *line = data + static_cast<std::ptrdiff_t>(y) * wordsPerLine;
        for (int x = 0; x < picture.width; ++x, in += 3) {
            const int grey = (77 * in[0] + 150 * in[1] + 29 * in[2] + 128) >> 8;
            darkest = std::min(darkest, grey);
            brightest = std::max(brightest, grey);
            SET_DATA_BYTE(line, x, grey);
        }
    }
    return pix;
}

bool cancelRequested(void *flag, int)
{
    return static_cast<const std::atomic<bool> *>(flag)->load();
}

bool readable(const QString &text)
{
    return std::any_of(text.begin(), text.end(), [](QChar c) { return c.isLetterOrNumber(); });
}

} // namespace

QString RecognitionResult::plainText() const
{
    QStringList rows;
    for (const RecognisedLine &line : lines)
        rows << line.text;
    return rows.join(QLatin1Char('\n'));
}

QString defaultLanguageDataPath()
{
    const QString prefix = qEnvironmentVariable("TESSDATA_PREFIX");
    if (!prefix.isEmpty())
        return prefix;
    for (const char *folder : {"/usr/share/tesseract-ocr/5/tessdata", "/usr/share/tesseract-ocr/4.00/tessdata",
                               "/usr/share/tessdata", "/usr/local/share/tessdata"}) {
        if (QFileInfo(QString::fromLatin1(folder)).isDir())
            return QString::fromLatin1(folder);
    }
    return QStringLiteral("/usr/share/tesseract-ocr/5/tessdata");
}

QStringList languagesForLocale(const QLocale &locale, const QString &dataPath)
{
    QStringList languages{QStringLiteral("eng")};
    const QString own = QLocale::languageToCode(locale.language(), QLocale::ISO639Part2T);
    if (!own.isEmpty() && own != languages.first() && hasLanguageData(dataPath, own))
        languages << own;
    return languages;
}

RecognitionResult recogniseText(const FreezeFrameImage &picture, const RecognitionOptions &options,
                                const std::atomic<bool> &cancel)
{
    RecognitionResult result;
    if (picture.isNull())
        return result;
    const QString dataPath = options.dataPath.isEmpty() ? defaultLanguageDataPath() : options.dataPath;
    QStringList languages;
    for (const QString &language : options.languages) {
        if (hasLanguageData(dataPath, language))
            languages << language;
    }
    if (languages.isEmpty()) {
        result.outcome = RecognitionResult::Outcome::Failed;
        result.message = QStringLiteral("Text cannot be read: no language data for text recognition is installed "
                                        "(the package tesseract-ocr-eng).");
        return result;
    }

    int darkest = 0, brightest = 0;
    PixPtr grey = greyPix(picture, darkest, brightest);
    // A black, white or grey card has no text; Tesseract would still search
    // it line by line.
    if (brightest - darkest < 32 || cancel)
        return result;

    double scale = 1;
    const double pixels = double(picture.width) * double(picture.height);
    if (pixels > double(options.maxPixels)) {
        scale = std::sqrt(double(options.maxPixels) / pixels);
        grey.reset(pixScale(grey.get(), float(scale), float(scale)));
    }

    // Tesseract copes with a degree or two; a page held at an angle is
    // turned straight first. Leptonica turns clockwise by a positive angle.
    float skew = 0, skewConfidence = 0;
    {
        PixPtr binary(pixConvertTo1(grey.get(), (darkest + brightest) / 2));
        if (binary && pixFindSkew(binary.get(), &skew, &skewConfidence) != 0)
            skewConfidence = 0;
    }
    double turn = 0;
    if (skewConfidence > 2.5f && std::abs(skew) > 0.2f && std::abs(skew) < 15.0f) {
        turn = skew * std::numbers::pi / 180.0;
        grey.reset(pixRotate(grey.get(), float(turn), L_ROTATE_AREA_MAP, L_BRING_IN_WHITE, 0, 0));
        result.deskewDegrees = skew;
    }
    if (!grey || cancel) {
        result.outcome = cancel ? RecognitionResult::Outcome::Cancelled : RecognitionResult::Outcome::Failed;
        return result;
    }

    tesseract::TessBaseAPI api;
    if (api.Init(dataPath.toLocal8Bit().constData(), languages.join(QLatin1Char('+')).toLatin1().constData(),
                 tesseract::OEM_DEFAULT) != 0) {
        result.outcome = RecognitionResult::Outcome::Failed;
        result.message = QStringLiteral("Text cannot be read: the text recognition data could not be loaded.");
        return result;
    }
    api.SetPageSegMode(tesseract::PSM_AUTO);
    api.SetImage(grey.get());
    api.SetSourceResolution(300);
    tesseract::ETEXT_DESC monitor;
    monitor.cancel = &cancelRequested;
    monitor.cancel_this = const_cast<std::atomic<bool> *>(&cancel);
    monitor.set_deadline_msecs(options.timeLimitMs);
    const int status = api.Recognize(&monitor);
    if (cancel) {
        result.outcome = RecognitionResult::Outcome::Cancelled;
        return result;
    }
    if (status != 0 || monitor.deadline_exceeded()) {
        result.outcome = RecognitionResult::Outcome::Failed;
        result.message = QStringLiteral("Text cannot be read: the picture holds no recognisable page.");
        return result;
    }

    // Back from the scaled, deskewed picture to the one given.
    const double cx = pixGetWidth(grey.get()) / 2.0, cy = pixGetHeight(grey.get()) / 2.0;
    const double ox = picture.width * scale / 2.0, oy = picture.height * scale / 2.0;
    const double cosine = std::cos(-turn), sine = std::sin(-turn);
    auto toPicture = [&](double x, double y) {
        const double dx = x - cx, dy = y - cy;
        return QPointF((ox + dx * cosine - dy * sine) / scale, (oy + dx * sine + dy * cosine) / scale);
    };

    std::unique_ptr<tesseract::ResultIterator> it(api.GetIterator());
    if (it) {
        do {
            std::unique_ptr<char[]> utf8(it->GetUTF8Text(tesseract::RIL_TEXTLINE));
            if (!utf8)
                continue;
            const QString text = QString::fromUtf8(utf8.get()).simplified();
            const float confidence = it->Confidence(tesseract::RIL_TEXTLINE);
            if (text.isEmpty() || confidence < options.minimumConfidence || !readable(text))
                continue;
            int left = 0, top = 0, right = 0, bottom = 0;
            it->BoundingBox(tesseract::RIL_TEXTLINE, &left, &top, &right, &bottom);
            RecognisedLine line;
            line.text = text;
            line.confidence = confidence;
            line.corners = {toPicture(left, top), toPicture(right, top), toPicture(right, bottom),
                            toPicture(left, bottom)};
            result.lines.push_back(std::move(line));
        } while (it->Next(tesseract::RIL_TEXTLINE));
    }
    result.outcome = result.lines.empty() ? RecognitionResult::Outcome::NoText : RecognitionResult::Outcome::Text;
    return result;
}

} // namespace kelvo::video::text
