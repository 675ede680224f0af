#include "ui/ViewerDialog.h"

#include <QKeyEvent>

namespace kelvo::ui {

ViewerDialog::ViewerDialog(QWidget *parent) : QDialog(parent, Qt::Dialog)
{
    setModal(false);
    // Each dialog lives as long as the viewer and is shown again and again.
    setAttribute(Qt::WA_DeleteOnClose, false);
}

void ViewerDialog::keyPressEvent(QKeyEvent *event)
{
    // QDialog's own Escape only hides the window, skipping closeEvent.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        close();
        return;
    }
    QDialog::keyPressEvent(event);
}

} // namespace kelvo::ui
