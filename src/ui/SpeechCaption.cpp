#include "ui/SpeechCaption.h"

#include <QEvent>
#include <QFontMetricsF>
#include <QGraphicsOpacityEffect>
#include <QPainter>
#include <QPropertyAnimation>

#include <algorithm>

namespace kelvo::ui {

SpeechCaption::SpeechCaption(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("speechCaption"));
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    setFocusPolicy(Qt::NoFocus);
    m_opacity = new QGraphicsOpacityEffect(this);
    setGraphicsEffect(m_opacity);
    m_fade = new QPropertyAnimation(m_opacity, "opacity", this);
    m_fade->setDuration(kFadeMs);
    m_fade->setStartValue(1.0);
    m_fade->setEndValue(0.0);
    connect(m_fade, &QPropertyAnimation::finished, this, [this] {
        m_text.clear();
        hide();
    });
    m_hold.setSingleShot(true);
    connect(&m_hold, &QTimer::timeout, m_fade, [this] { m_fade->start(); });
    parent->installEventFilter(this);
    setGeometry(parent->rect());
    hide();
}

void SpeechCaption::showCaption(const QString &text)
{
    m_fade->stop();
    m_opacity->setOpacity(1.0);
    m_text = text;
    setGeometry(parentWidget()->rect());
    show();
    raise();
    update();
    m_hold.start(kHoldMs);
}

void SpeechCaption::setAvoidedArea(const QRectF &area)
{
    m_avoided = area;
    update();
}

QFont SpeechCaption::captionFont() const
{
    QFont font = this->font();
    font.setBold(true);
    font.setPixelSize(std::clamp(height() / 9, 18, 96));
    return font;
}

QRectF SpeechCaption::plateRect() const
{
    const QFontMetricsF metrics(captionFont());
    const double pad = metrics.height() * 0.3;
    const double maxWidth = width() * 0.92;
    const QRectF textBox =
        metrics.boundingRect(QRectF(0, 0, maxWidth - 2 * pad, height()), Qt::TextWordWrap | Qt::AlignCenter, m_text);
    const double w = std::min(maxWidth, textBox.width() + 2 * pad);
    const double h = std::min(height() * 0.4, textBox.height() + 2 * pad);
    const double margin = height() * 0.04;
    QRectF plate((width() - w) / 2, margin, w, h);
    // Below the line being read is as good as above it; on it never.
    if (!m_avoided.isEmpty() && plate.intersects(m_avoided))
        plate.moveBottom(height() - margin);
    return plate;
}

void SpeechCaption::paintEvent(QPaintEvent *)
{
    if (m_text.isEmpty())
        return;
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF plate = plateRect();
    const double rim = std::max(2.0, plate.height() * 0.04);
    p.setPen(QPen(Qt::white, rim));
    p.setBrush(Qt::black);
    p.drawRoundedRect(plate.adjusted(rim / 2, rim / 2, -rim / 2, -rim / 2), rim * 3, rim * 3);
    p.setFont(captionFont());
    p.setPen(Qt::white);
    p.drawText(plate, Qt::TextWordWrap | Qt::AlignCenter, m_text);
}

bool SpeechCaption::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == parentWidget() && event->type() == QEvent::Resize)
        setGeometry(parentWidget()->rect());
    return QWidget::eventFilter(watched, event);
}

} // namespace kelvo::ui
