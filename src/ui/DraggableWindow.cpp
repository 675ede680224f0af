#include "ui/DraggableWindow.h"

#include <QCloseEvent>

namespace kelvo::ui {

DraggableWindow::DraggableWindow(QWidget *parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("videoWindow"));
    // Closing the video window hides it; the viewer keeps running so that it
    // can be shown again from the menu or by plugging the camera in.
    setAttribute(Qt::WA_DeleteOnClose, false);
}

void DraggableWindow::closeEvent(QCloseEvent *event)
{
    emit windowWillClose();
    QMainWindow::closeEvent(event);
}

} // namespace kelvo::ui
