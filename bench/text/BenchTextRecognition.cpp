// Prints how long recognising the text of a 1080p frame of the simulated
// page takes, as a multiple of one live frame's conversion, and the
// character error rate at each print size.

#include "video/FrameConversion.h"
#include "video/text/CharacterErrorRate.h"
#include "video/text/PageText.h"
#include "video/text/TextRecognizer.h"

#include <QGuiApplication>

#include <chrono>
#include <cstdio>

using namespace kelvo::video;
using Clock = std::chrono::steady_clock;

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QImage image = testing::printSizesFrame();
    const FreezeFrameImage picture = testing::pictureOf(image);

    // One live frame: 1080p UYVY to 32-bit RGB, as the CPU path draws it.
    auto bytes = std::make_shared<std::vector<std::uint8_t>>(size_t(1920) * 1080 * 2, 128);
    VideoFrame frame;
    frame.format = PixelFormat::UYVY;
    frame.width = 1920;
    frame.height = 1080;
    frame.planes[0] = bytes->data();
    frame.strides[0] = 1920 * 2;
    frame.storage = bytes;
    std::vector<std::uint32_t> out(size_t(1920) * 1080);
    const int conversions = 200;
    const auto convertStart = Clock::now();
    for (int i = 0; i < conversions; ++i)
        convertFrameToRgb32(frame, out.data(), 1920 * 4, nullptr);
    const double convertMs =
        std::chrono::duration<double, std::milli>(Clock::now() - convertStart).count() / conversions;

    const std::atomic<bool> cancel{false};
    const int runs = 3;
    double best = 1e12;
    text::RecognitionResult result;
    for (int i = 0; i < runs; ++i) {
        const auto start = Clock::now();
        result = text::recogniseText(picture, {}, cancel);
        best = std::min(best, std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    std::printf("1080p frame conversion:   %8.2f ms\n", convertMs);
    std::printf("1080p text recognition:   %8.1f ms (best of %d, %zu lines)\n", best, runs, result.lines.size());
    std::printf("recognition / conversion: %8.0f x\n", best / convertMs);
    for (int points : {24, 18, 14})
        std::printf("character error rate at %d pt: %.2f %%\n", points,
                    100 * text::passageErrorRate(testing::pageParagraph(points), result.plainText()));
    return 0;
}
