#pragma once

#include <QString>

#include <functional>

class QFileDialog;
class QMessageBox;
class QObject;
class QWidget;

namespace kelvo::ui {

// How a prepared save dialog or alert is put on screen. The defaults show
// them; tests replace them to answer the dialog or read the alert. Answering
// a dialog means finishing it (accept, reject or done).
using SaveDialogPresenter = std::function<void(QFileDialog *dialog, bool fullScreen)>;
using AlertPresenter = std::function<void(QMessageBox *alert)>;

// Window-modal on the video window, or in full screen a window of its own
// and application-modal, where a dialog tied to the covered window could be
// hidden.
void showSaveDialog(QFileDialog *dialog, bool fullScreen);
void showAlert(QMessageBox *alert);

struct SaveDialogKind {
    QString objectName;
    QString title; // empty: the toolkit's own
    QString filterName;
    QString suffix;
    QString suggestedName = QStringLiteral("Untitled"); // without the suffix
};

// A save dialog for one kind of file, suggesting "<suggestedName>.<suffix>",
// parented to the video window unless in full screen.
QFileDialog *makeSaveDialog(const SaveDialogKind &kind, QWidget *videoWindow, bool fullScreen);

// Calls finish once when the dialog ends: 1 and the chosen path, or 0 and
// no path. The dialog is deleted on the event loop's next turn, so finish
// may still use it.
void whenSaveDialogEnds(QFileDialog *dialog, QObject *context,
                        std::function<void(int result, const QString &path)> finish);

} // namespace kelvo::ui
