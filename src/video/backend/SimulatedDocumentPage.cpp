#include "video/backend/SimulatedDocumentPage.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <cmath>

namespace kelvo::video::backend {

namespace {

const char *const kParagraph = "Reading is easier when the letters are large and the contrast is strong. Each "
                               "paragraph is set smaller than the one before.";

void drawRuler(QPainter &p, const QRectF &area, double mm)
{
    p.fillRect(area, QColor(250, 240, 200));
    p.setPen(QPen(Qt::black, std::max(1.0, mm * 0.15)));
    p.drawRect(area);
    QFont font("DejaVu Sans");
    font.setPixelSize(int(mm * 2.2));
    p.setFont(font);
    const int count = int(area.width() / mm);
    for (int i = 0; i <= count; ++i) {
        const double x = area.left() + i * mm;
        const double length = i % 10 == 0  ? area.height() * 0.6
                              : i % 5 == 0 ? area.height() * 0.4
                                           : area.height() * 0.25;
        p.drawLine(QPointF(x, area.top()), QPointF(x, area.top() + length));
        if (i % 10 == 0 && i > 0)
            p.drawText(QPointF(x + mm * 0.3, area.bottom() - mm * 0.8), QString::number(i / 10));
    }
}

void drawPhotograph(QPainter &p, const QRectF &r)
{
    QLinearGradient sky(r.topLeft(), r.bottomLeft());
    sky.setColorAt(0, QColor(40, 110, 200));
    sky.setColorAt(0.6, QColor(170, 210, 240));
    sky.setColorAt(1, QColor(250, 230, 190));
    p.fillRect(r, sky);

    QRadialGradient sun(r.left() + r.width() * 0.75, r.top() + r.height() * 0.3, r.height() * 0.15);
    sun.setColorAt(0, QColor(255, 250, 210));
    sun.setColorAt(1, QColor(255, 190, 60));
    p.setPen(Qt::NoPen);
    p.setBrush(sun);
    p.drawEllipse(QPointF(r.left() + r.width() * 0.75, r.top() + r.height() * 0.3), r.height() * 0.12,
                  r.height() * 0.12);

    QPainterPath hills;
    hills.moveTo(r.left(), r.bottom());
    for (int i = 0; i <= 40; ++i) {
        const double t = i / 40.0;
        hills.lineTo(r.left() + t * r.width(),
                     r.top() + r.height() * (0.62 - 0.18 * std::sin(t * 7.0) * std::sin(t * 2.3 + 0.4)));
    }
    hills.lineTo(r.right(), r.bottom());
    QLinearGradient green(r.topLeft(), r.bottomLeft());
    green.setColorAt(0.4, QColor(90, 150, 60));
    green.setColorAt(1, QColor(30, 80, 30));
    p.setBrush(green);
    p.drawPath(hills);

    // A house with a red roof gives the picture hard edges and saturated colour.
    const QRectF house(r.left() + r.width() * 0.2, r.top() + r.height() * 0.55, r.width() * 0.16, r.height() * 0.2);
    p.setBrush(QColor(235, 225, 205));
    p.drawRect(house);
    QPolygonF roof;
    roof << QPointF(house.left() - house.width() * 0.1, house.top())
         << QPointF(house.center().x(), house.top() - house.height() * 0.6)
         << QPointF(house.right() + house.width() * 0.1, house.top());
    p.setBrush(QColor(190, 40, 30));
    p.drawPolygon(roof);
    p.setBrush(QColor(70, 50, 40));
    p.drawRect(QRectF(house.center().x() - house.width() * 0.1, house.bottom() - house.height() * 0.55,
                      house.width() * 0.2, house.height() * 0.55));
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(Qt::black, r.width() * 0.004));
    p.drawRect(r);
}

} // namespace

QImage renderSimulatedDocumentPage(QSize size)
{
    QImage page(size, QImage::Format_RGB888);
    page.fill(QColor(252, 251, 246));
    QPainter p(&page);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);

    // One millimetre of an A4 page.
    const double mm = size.width() / 210.0;
    const double margin = 18 * mm;
    const double textWidth = size.width() - 2 * margin;
    double y = 16 * mm;

    QFont font("DejaVu Serif");
    auto setSize = [&](double points, bool bold = false) {
        font.setPixelSize(std::max(1, int(points * 0.3528 * mm))); // 1 pt = 0.3528 mm
        font.setBold(bold);
        p.setFont(font);
    };
    auto text = [&](const QString &t, double points, bool bold, int flags = Qt::TextWordWrap) {
        setSize(points, bold);
        const QRectF box(margin, y, textWidth, size.height());
        const QRectF used = p.boundingRect(box, flags, t);
        p.drawText(box, flags, t);
        y += used.height() + points * 0.25 * mm;
    };

    p.setPen(Qt::black);
    text("The Reading Page", 32, true, Qt::AlignHCenter);
    text("A test page for magnified reading", 18, false, Qt::AlignHCenter);
    y += 3 * mm;

    text("1. Print sizes", 16, true);
    for (double points : {24.0, 18.0, 14.0, 12.0, 10.0, 8.0, 6.0}) {
        text(QString("%1 pt  ").arg(points) + kParagraph, points, false);
        y += 1 * mm;
    }

    y += 3 * mm;
    text("2. Timetable and photograph", 16, true);
    const char *const cells[5][3] = {{"Stop", "Departs", "Platform"},
                                     {"Harbour", "07:15", "2"},
                                     {"Market Square", "08:05", "4"},
                                     {"University", "12:40", "1"},
                                     {"Old Mill Road", "17:55", "3"}};
    const double rowHeight = 9 * mm;
    const double tableWidth = textWidth * 0.55;
    const double columnWidths[3] = {tableWidth * 0.44, tableWidth * 0.26, tableWidth * 0.30};
    setSize(12);
    p.fillRect(QRectF(margin, y, tableWidth, rowHeight), QColor(220, 225, 235));
    for (int row = 0; row < 5; ++row) {
        double x = margin;
        for (int column = 0; column < 3; ++column) {
            const QRectF cell(x, y + row * rowHeight, columnWidths[column], rowHeight);
            x += columnWidths[column];
            p.setPen(QPen(Qt::black, std::max(1.0, mm * 0.25)));
            p.drawRect(cell);
            font.setBold(row == 0);
            p.setFont(font);
            p.drawText(cell.adjusted(2 * mm, 0, 0, 0), Qt::AlignVCenter | Qt::AlignLeft, cells[row][column]);
        }
    }
    // The photograph sits beside the table.
    const double photoLeft = margin + tableWidth + 6 * mm;
    const double photoHeight = std::min(5 * rowHeight + 10 * mm, size.height() - y - 30 * mm);
    if (photoHeight > 10 * mm)
        drawPhotograph(p, QRectF(photoLeft, y, margin + textWidth - photoLeft, photoHeight));
    y += std::max(5 * rowHeight, photoHeight) + 6 * mm;

    drawRuler(p, QRectF(margin, size.height() - 22 * mm, textWidth, 10 * mm), mm);
    return page;
}

} // namespace kelvo::video::backend
