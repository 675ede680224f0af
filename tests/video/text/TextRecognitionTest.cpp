#include "PageText.h"

#include "video/text/CharacterErrorRate.h"
#include "video/text/TextRecognizer.h"

#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <thread>

using namespace kelvo::video;
using namespace kelvo::video::text;
using namespace kelvo::video::testing;

namespace {

RecognitionResult recognise(const QImage &image, RecognitionOptions options = {})
{
    const std::atomic<bool> cancel{false};
    return recogniseText(pictureOf(image), options, cancel);
}

} // namespace

TEST(CharacterErrorRate, FindsAPassageInLongerTextAndCountsItsEdits)
{
    EXPECT_EQ(editDistance(QStringLiteral("kitten"), QStringLiteral("sitting")), 3);
    EXPECT_DOUBLE_EQ(passageErrorRate(QStringLiteral("large print"), QStringLiteral("Title\nsome large\n print here")),
                     0.0);
    // One letter wrong in a ten-letter passage, whatever surrounds it.
    EXPECT_DOUBLE_EQ(passageErrorRate(QStringLiteral("abcdefghij"), QStringLiteral("xx abcdeXghij yy")), 0.1);
    EXPECT_DOUBLE_EQ(passageErrorRate(QStringLiteral("abcd"), QString()), 1.0);
}

// The simulated page is the test chart: its paragraphs at 24, 18 and 14 pt
// must read back nearly letter for letter, straight or held askew, and each
// line's outline must lie on the print it names.
TEST(TextRecognition, ReadsThePagesPrintSizesWithFewErrors)
{
    const QImage frame = printSizesFrame();
    const RecognitionResult straight = recognise(frame);
    ASSERT_EQ(straight.outcome, RecognitionResult::Outcome::Text) << straight.message.toStdString();
    const QString text = straight.plainText();
    const double cer24 = passageErrorRate(pageParagraph(24), text);
    const double cer18 = passageErrorRate(pageParagraph(18), text);
    const double cer14 = passageErrorRate(pageParagraph(14), text);
    std::printf("character error rate: 24 pt %.2f %%, 18 pt %.2f %%, 14 pt %.2f %%\n", cer24 * 100, cer18 * 100,
                cer14 * 100);
    EXPECT_LT(cer24, 0.02) << text.toStdString();
    EXPECT_LT(cer18, 0.03);
    EXPECT_LT(cer14, 0.05);

    // Lines come in reading order: top to bottom.
    for (size_t i = 1; i < straight.lines.size(); ++i)
        EXPECT_LT(straight.lines[i - 1].corners[0].y(), straight.lines[i].corners[3].y());
    // Every outline holds dark print: its middle row crosses ink.
    const QImage grey = frame.convertToFormat(QImage::Format_Grayscale8);
    for (const RecognisedLine &line : straight.lines) {
        const QPointF left = (line.corners[0] + line.corners[3]) / 2, right = (line.corners[1] + line.corners[2]) / 2;
        int darkest = 255;
        for (int step = 0; step <= 200; ++step) {
            const QPointF p = left + (right - left) * (step / 200.0);
            darkest = std::min(darkest, qGray(grey.pixel(std::clamp(int(p.x()), 0, grey.width() - 1),
                                                         std::clamp(int(p.y()), 0, grey.height() - 1))));
        }
        EXPECT_LT(darkest, 100) << line.text.toStdString();
    }

    // Held four degrees askew, the page is turned straight first and the
    // outlines are turned back onto the askew print.
    const QImage askewFrame = printSizesFrame(4);
    const RecognitionResult askew = recognise(askewFrame);
    ASSERT_EQ(askew.outcome, RecognitionResult::Outcome::Text);
    EXPECT_NEAR(std::abs(askew.deskewDegrees), 4.0, 1.0);
    EXPECT_LT(passageErrorRate(pageParagraph(24), askew.plainText()), 0.03) << askew.plainText().toStdString();
    const QImage askewGrey = askewFrame.convertToFormat(QImage::Format_Grayscale8);
    const RecognisedLine &first = askew.lines.front();
    const QPointF middle = (first.corners[0] + first.corners[1] + first.corners[2] + first.corners[3]) / 4;
    int darkest = 255;
    for (int dx = -150; dx <= 150; ++dx)
        darkest = std::min(darkest, qGray(askewGrey.pixel(int(middle.x()) + dx, int(middle.y()))));
    EXPECT_LT(darkest, 100);
}

// Pictures that are no page: an answer, soon, never a hang or a crash.
TEST(TextRecognition, BlankNoisyAndUnreadablePicturesAnswerPlainly)
{
    QImage black(1920, 1080, QImage::Format_RGB888);
    black.fill(Qt::black);
    QElapsedTimer timer;
    timer.start();
    EXPECT_EQ(recognise(black).outcome, RecognitionResult::Outcome::NoText);
    EXPECT_LT(timer.elapsed(), 1000);
    EXPECT_EQ(recogniseText(FreezeFrameImage(), {}, std::atomic<bool>{false}).outcome,
              RecognitionResult::Outcome::NoText);

    QImage noise(960, 540, QImage::Format_RGB888);
    QRandomGenerator random(7);
    for (int y = 0; y < noise.height(); ++y) {
        uchar *row = noise.scanLine(y);
        for (int x = 0; x < noise.width() * 3; ++x)
            row[x] = uchar(random.bounded(256));
    }
    RecognitionOptions quick;
    quick.timeLimitMs = 15000;
    const RecognitionResult noisy = recognise(noise, quick);
    EXPECT_NE(noisy.outcome, RecognitionResult::Outcome::Text) << noisy.plainText().toStdString();

    // Without language data the user learns which package is missing.
    QTemporaryDir empty;
    RecognitionOptions noData;
    noData.dataPath = empty.path();
    const RecognitionResult failed = recognise(printSizesFrame(), noData);
    EXPECT_EQ(failed.outcome, RecognitionResult::Outcome::Failed);
    EXPECT_TRUE(failed.message.contains(QStringLiteral("tesseract-ocr-eng")));

    // A picture far past the size limit is scaled down and still read, with
    // its outlines in the full picture's pixels.
    const QImage huge = printSizesFrame().scaled(1920 * 3, 1080 * 3);
    RecognitionOptions limited;
    limited.maxPixels = 1920 * 1080;
    const RecognitionResult scaled = recognise(huge, limited);
    ASSERT_EQ(scaled.outcome, RecognitionResult::Outcome::Text);
    EXPECT_LT(passageErrorRate(pageParagraph(24), scaled.plainText()), 0.03);
    EXPECT_GT(scaled.lines.back().corners[2].y(), 1080.0);
}

TEST(TextRecognition, CancellingStopsARunningRecognitionSoon)
{
    const FreezeFrameImage picture = pictureOf(printSizesFrame());
    std::atomic<bool> cancel{false};
    RecognitionResult result;
    QElapsedTimer timer;
    timer.start();
    std::thread worker([&] { result = recogniseText(picture, {}, cancel); });
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    cancel = true;
    worker.join();
    EXPECT_EQ(result.outcome, RecognitionResult::Outcome::Cancelled);
    EXPECT_TRUE(result.lines.empty());
}
