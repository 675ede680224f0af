// Draws the user manual's picture of every colour mode: one small printed
// label, recoloured by exactly the arithmetic the viewer applies to a frozen
// picture, so the manual shows what the viewer shows.
#include "video/ColourCurve.h"
#include "video/ColourMode.h"

#include <QDir>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>

#include <cstdio>

namespace {

constexpr int kWidth = 480;
constexpr int kHeight = 270;

// What a camera sees on a reading desk: cream paper lit a little unevenly,
// dark grey print in three sizes and a coloured rule, which the two-colour
// modes turn into ink or paper like everything else.
QImage drawPrintedLabel()
{
    QImage image(kWidth, kHeight, QImage::Format_RGB32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);

    QLinearGradient light(0, 0, kWidth, kHeight);
    light.setColorAt(0, QColor(247, 243, 228));
    light.setColorAt(1, QColor(222, 216, 198));
    p.fillRect(image.rect(), light);

    const QColor ink(38, 38, 44);
    p.setPen(ink);
    QFont heading(QStringLiteral("DejaVu Serif"));
    heading.setPixelSize(46);
    heading.setBold(true);
    p.setFont(heading);
    p.drawText(QPointF(24, 62), QStringLiteral("Eye drops"));

    p.fillRect(QRectF(24, 78, 300, 7), QColor(200, 40, 40));

    QFont body(QStringLiteral("DejaVu Sans"));
    body.setPixelSize(28);
    p.setFont(body);
    p.drawText(QPointF(24, 126), QStringLiteral("One drop in each eye,"));
    p.drawText(QPointF(24, 162), QStringLiteral("morning and evening."));

    QFont small(QStringLiteral("DejaVu Sans"));
    small.setPixelSize(17);
    p.setFont(small);
    p.drawText(QPointF(24, 206), QStringLiteral("Keep the bottle closed and out of the sun."));
    p.drawText(QPointF(24, 232), QStringLiteral("Use within 28 days of opening."));
    return image;
}

// Whether the print came out: without a font the label is blank paper and
// every picture would show nothing but the paper colour.
bool hasPrint(const QImage &image)
{
    int dark = 0;
    for (int y = 0; y < image.height(); ++y) {
        const auto *row = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x)
            dark += qGray(row[x]) < 100;
    }
    return dark > image.width() * image.height() / 50;
}

} // namespace

int main(int argc, char **argv)
{
    // Fonts need a GUI application, but the build has no display.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "Usage: %s OUTPUT-FOLDER\n", argv[0]);
        return 2;
    }
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    if (!QDir().mkpath(folder.path())) {
        std::fprintf(stderr, "Cannot create %s\n", argv[1]);
        return 1;
    }

    const QImage label = drawPrintedLabel();
    if (!hasPrint(label)) {
        std::fprintf(stderr, "No font drew the sample text; install the DejaVu fonts (fonts-dejavu-core).\n");
        return 1;
    }
    for (int mode = 0; mode < kelvo::video::kColorModeCount; ++mode) {
        QImage picture = label.copy();
        const auto curve = kelvo::video::ColourCurve::compile(kelvo::video::getColorModeFilters(mode));
        curve->applyToRgb32(reinterpret_cast<std::uint32_t *>(picture.bits()), picture.width(), picture.height(),
                            picture.bytesPerLine());
        const QString path = folder.filePath(QStringLiteral("mode-%1.png").arg(mode, 2, 10, QLatin1Char('0')));
        if (!picture.save(path, "PNG")) {
            std::fprintf(stderr, "Cannot write %s\n", qPrintable(path));
            return 1;
        }
    }
    return 0;
}
