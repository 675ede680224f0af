#pragma once

// The simulated camera's page as a camera would capture it, and the text it
// is known to carry.

#include "video/FreezeFrameImage.h"
#include "video/backend/SimulatedDocumentPage.h"

#include <QImage>
#include <QPainter>
#include <QString>
#include <QTransform>

#include <cstring>
#include <memory>
#include <vector>

namespace kelvo::video::testing {

// The paragraph the page repeats at each print size, after its size label.
inline QString pageParagraph(int points)
{
    return QStringLiteral("%1 pt Reading is easier when the letters are large and the contrast is strong. Each "
                          "paragraph is set smaller than the one before.")
        .arg(points);
}

inline FreezeFrameImage pictureOf(const QImage &image)
{
    const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
    auto pixels = std::make_shared<std::vector<std::uint8_t>>(size_t(rgb.width()) * size_t(rgb.height()) * 3);
    for (int y = 0; y < rgb.height(); ++y)
        std::memcpy(pixels->data() + size_t(y) * size_t(rgb.width()) * 3, rgb.constScanLine(y),
                    size_t(rgb.width()) * 3);
    return FreezeFrameImage{rgb.width(), rgb.height(), pixels};
}

// A 1920×1080 frame of the page's print sizes, as the camera sees it at its
// widest step (nine tenths of the page's width across the frame), turned by
// `degrees` as a page held askew.
inline QImage printSizesFrame(double degrees = 0)
{
    const QImage page = backend::renderSimulatedDocumentPage(QSize(2133, 3017));
    QImage frame = page.copy(106, 420, 1920, 1080);
    if (degrees != 0) {
        QImage turned(frame.size(), QImage::Format_RGB888);
        turned.fill(QColor(252, 251, 246));
        QPainter p(&turned);
        p.setRenderHint(QPainter::SmoothPixmapTransform);
        p.translate(frame.width() / 2.0, frame.height() / 2.0);
        p.rotate(degrees);
        p.translate(-frame.width() / 2.0, -frame.height() / 2.0);
        p.drawImage(0, 0, frame);
        p.end();
        frame = turned;
    }
    return frame;
}

} // namespace kelvo::video::testing
