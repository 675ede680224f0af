#include "ui/AccessNoticeBar.h"

#include "common/Localization.h"

#include <QAccessible>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

namespace kelvo::ui {

AccessNoticeBar::AccessNoticeBar(QWidget *picture)
    : QFrame(picture), m_label(new QLabel(this)), m_allow(new QPushButton(localized("&Allow Access…"), this)),
      m_notNow(new QPushButton(localized("&Not Now"), this))
{
    setObjectName(QStringLiteral("accessNoticeBar"));
    setAccessibleName(localized("Camera permission"));
    setAutoFillBackground(true);
    setFrameShape(QFrame::StyledPanel);
    // Black on light yellow reads at any magnification and in every colour
    // mode of the picture underneath.
    setStyleSheet(QStringLiteral("#accessNoticeBar { background: #fff3b0; color: black; border-bottom: 2px solid "
                                 "black; } #accessNoticeBar QLabel { color: black; }"));
    QFont large = font();
    large.setPointSizeF(large.pointSizeF() * 1.3);
    m_label->setFont(large);
    m_label->setWordWrap(true);
    m_label->setTextInteractionFlags(Qt::NoTextInteraction);
    auto *layout = new QHBoxLayout(this);
    layout->addWidget(m_label, 1);
    layout->addWidget(m_allow);
    layout->addWidget(m_notNow);
    connect(m_allow, &QPushButton::clicked, this, &AccessNoticeBar::allowClicked);
    connect(m_notNow, &QPushButton::clicked, this, &AccessNoticeBar::notNowClicked);
    picture->installEventFilter(this);
    hide();
}

void AccessNoticeBar::showText(const QString &text)
{
    present(text, false);
}

void AccessNoticeBar::showWaiting(const QString &text)
{
    present(text, true);
}

QString AccessNoticeBar::text() const
{
    return m_label->text();
}

void AccessNoticeBar::present(const QString &text, bool waiting)
{
    m_label->setText(text);
    setAccessibleDescription(text);
    m_allow->setEnabled(!waiting);
    m_notNow->setEnabled(!waiting);
    const bool wasHidden = isHidden();
    fitToPicture();
    show();
    raise();
    // The screen reader says it without taking the focus from the picture.
    if (wasHidden || !waiting) {
        QAccessibleEvent alert(this, QAccessible::Alert);
        QAccessible::updateAccessibility(&alert);
    }
}

void AccessNoticeBar::fitToPicture()
{
    const int width = parentWidget()->width();
    setGeometry(0, 0, width, heightForWidth(width) > 0 ? heightForWidth(width) : sizeHint().height());
}

bool AccessNoticeBar::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == parentWidget() && event->type() == QEvent::Resize && !isHidden())
        fitToPicture();
    return QFrame::eventFilter(watched, event);
}

} // namespace kelvo::ui
