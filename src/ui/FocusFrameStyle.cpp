#include "ui/FocusFrameStyle.h"

#include <QPainter>
#include <QStyleOption>

namespace kelvo::ui {

FocusFrameStyle::FocusFrameStyle(QStyle *base) : QProxyStyle(base) {}

void FocusFrameStyle::drawPrimitive(PrimitiveElement element, const QStyleOption *option, QPainter *painter,
                                    const QWidget *widget) const
{
    if (element != PE_FrameFocusRect) {
        QProxyStyle::drawPrimitive(element, option, painter, widget);
        return;
    }
    painter->save();
    QPen pen(option->palette.color(QPalette::Highlight), kFrameWidth);
    pen.setJoinStyle(Qt::MiterJoin);
    painter->setPen(pen);
    painter->setBrush(Qt::NoBrush);
    const int inset = kFrameWidth / 2;
    painter->drawRect(option->rect.adjusted(inset, inset, -inset - 1, -inset - 1));
    painter->restore();
}

void FocusFrameStyle::drawControl(ControlElement element, const QStyleOption *option, QPainter *painter,
                                  const QWidget *widget) const
{
    QProxyStyle::drawControl(element, option, painter, widget);
    // Fusion marks the focused tab by nothing but its selection, which the
    // other tabs' outline hardly sets apart.
    if (element == CE_TabBarTab && (option->state & State_HasFocus)) {
        QStyleOptionFocusRect frame;
        frame.QStyleOption::operator=(*option);
        frame.rect = option->rect.adjusted(1, 1, -1, -1);
        drawPrimitive(PE_FrameFocusRect, &frame, painter, widget);
    }
}

int FocusFrameStyle::pixelMetric(PixelMetric metric, const QStyleOption *option, const QWidget *widget) const
{
    if (metric == PM_FocusFrameHMargin || metric == PM_FocusFrameVMargin)
        return kFrameWidth;
    return QProxyStyle::pixelMetric(metric, option, widget);
}

} // namespace kelvo::ui
