#include "ui/ReadingLineOutline.h"

#include <QEvent>
#include <QPainter>

#include <algorithm>

namespace kelvo::ui {

ReadingLineOutline::ReadingLineOutline(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("readingLineOutline"));
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    setFocusPolicy(Qt::NoFocus);
    parent->installEventFilter(this);
    setGeometry(parent->rect());
    hide();
}

void ReadingLineOutline::setOutline(const QPolygonF &outline)
{
    m_outline = outline;
    setVisible(!outline.isEmpty());
    if (!outline.isEmpty())
        raise();
    update();
}

void ReadingLineOutline::setColours(QColor ink, QColor paper)
{
    m_ink = ink;
    m_paper = paper;
    update();
}

void ReadingLineOutline::paintEvent(QPaintEvent *)
{
    if (m_outline.isEmpty())
        return;
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF box = m_outline.boundingRect();
    const double width = std::clamp(box.height() * 0.08, 3.0, 10.0);
    // Around the line, not on its letters.
    QPolygonF around = m_outline;
    const QPointF centre = box.center();
    for (QPointF &corner : around) {
        const QPointF away = corner - centre;
        corner += QPointF(away.x() > 0 ? width : -width, away.y() > 0 ? width : -width);
    }
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(m_paper, width * 2.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPolygon(around);
    p.setPen(QPen(m_ink, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPolygon(around);
}

bool ReadingLineOutline::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == parentWidget() && event->type() == QEvent::Resize)
        setGeometry(parentWidget()->rect());
    return QWidget::eventFilter(watched, event);
}

} // namespace kelvo::ui
