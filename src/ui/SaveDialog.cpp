#include "ui/SaveDialog.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QWidget>

#include <memory>
#include <utility>

namespace kelvo::ui {

void showSaveDialog(QFileDialog *dialog, bool fullScreen)
{
    if (fullScreen) {
        dialog->setWindowModality(Qt::ApplicationModal);
        dialog->show();
    } else {
        dialog->open();
    }
}

void showAlert(QMessageBox *alert)
{
    alert->open();
}

QFileDialog *makeSaveDialog(const SaveDialogKind &kind, QWidget *videoWindow, bool fullScreen)
{
    auto *dialog = new QFileDialog(fullScreen ? nullptr : videoWindow);
    dialog->setObjectName(kind.objectName);
    if (!kind.title.isEmpty())
        dialog->setWindowTitle(kind.title);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setFileMode(QFileDialog::AnyFile);
    dialog->setNameFilter(kind.filterName + QStringLiteral(" (*.") + kind.suffix + QLatin1Char(')'));
    dialog->setDefaultSuffix(kind.suffix);
    dialog->selectFile(kind.suggestedName + QLatin1Char('.') + kind.suffix);
    return dialog;
}

void whenSaveDialogEnds(QFileDialog *dialog, QObject *context,
                        std::function<void(int result, const QString &path)> finish)
{
    auto pending = std::make_shared<std::function<void(int, const QString &)>>(std::move(finish));
    QObject::connect(dialog, &QDialog::finished, context, [dialog, pending](int code) {
        if (!*pending)
            return;
        const auto finishNow = std::exchange(*pending, nullptr);
        const QString path = code == QDialog::Accepted ? dialog->selectedFiles().value(0) : QString();
        dialog->deleteLater();
        finishNow(path.isEmpty() ? 0 : 1, path);
    });
}

} // namespace kelvo::ui
