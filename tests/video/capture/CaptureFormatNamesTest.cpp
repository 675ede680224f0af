#include "video/CaptureFormatNames.h"

#include <QCoreApplication>
#include <QTranslator>

#include <gtest/gtest.h>

namespace kelvo::video {
namespace {

TEST(CaptureFormatNames, FormatsAndFrameRates)
{
    EXPECT_EQ(videoFormatDisplayName("UYVY", 1280, 720), "UYVY, 1280 x 720");
    EXPECT_EQ(audioFormatDisplayName("PCM 48 kHz", "Stereo"), "PCM 48 kHz, Stereo");
    EXPECT_EQ(audioFormatDisplayName("PCM 48 kHz", ""), "PCM 48 kHz");
    EXPECT_EQ(frameRateRangeDisplayName(30, 30), "FPS: 30.00");
    EXPECT_EQ(frameRateRangeDisplayName(7.5, 29.97), "FPS: 7.50-29.97");
}

// Answers every lookup from a fixed table, like a loaded translation.
class TableTranslator : public QTranslator {
public:
    std::map<QString, QString> table;
    bool isEmpty() const override { return false; }
    QString translate(const char *, const char *source, const char *, int) const override
    {
        auto it = table.find(QString::fromUtf8(source));
        return it == table.end() ? QString() : it->second;
    }
};

TEST(CaptureFormatNames, FrameRateTextComesFromTheStringTableButNeverAsABadFormat)
{
    TableTranslator translator;
    translator.table = {{"FPS: %0.2f", "Bilder/s: %0.2f"}, {"FPS: %0.2f-%0.2f", "Bilder/s: %s"}};
    QCoreApplication::installTranslator(&translator);
    EXPECT_EQ(frameRateRangeDisplayName(25, 25), "Bilder/s: 25.00");
    EXPECT_EQ(frameRateRangeDisplayName(15, 30), "FPS: 15.00-30.00") << "a translation with %s is not used";
    QCoreApplication::removeTranslator(&translator);
}

} // namespace
} // namespace kelvo::video
