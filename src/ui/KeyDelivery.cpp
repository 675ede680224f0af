#include "ui/KeyDelivery.h"

#include <QApplication>
#include <QKeyEvent>
#include <QWidget>

namespace kelvo::ui {

QKeyEvent *keyPressAtFirstReceiver(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::KeyPress || !watched->isWidgetType())
        return nullptr;
    auto *widget = static_cast<QWidget *>(watched);
    QWidget *focus = QApplication::focusWidget();
    QWidget *first = focus && focus->window() == widget->window() ? focus : widget->window();
    return widget == first ? static_cast<QKeyEvent *>(event) : nullptr;
}

} // namespace kelvo::ui
