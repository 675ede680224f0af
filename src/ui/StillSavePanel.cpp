#include "ui/StillSavePanel.h"

#include "common/Localization.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QWidget>

#include <memory>
#include <utility>

namespace kelvo::ui {

namespace {

void showDialog(QFileDialog *dialog, bool fullScreen)
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

} // namespace

StillSavePanel::StillSavePanel(QWidget *videoWindow, QObject *parent)
    : QObject(parent), m_videoWindow(videoWindow), m_presentDialog(showDialog), m_presentAlert(showAlert)
{}

StillSavePanel::~StillSavePanel()
{
    // A dialog still open belongs to a save that can no longer end.
    if (m_savePanel) {
        m_savePanel->disconnect(this);
        delete m_savePanel;
    }
}

void StillSavePanel::setDialogPresenter(DialogPresenter presenter)
{
    m_presentDialog = presenter ? std::move(presenter) : DialogPresenter(showDialog);
}

void StillSavePanel::setAlertPresenter(AlertPresenter presenter)
{
    m_presentAlert = presenter ? std::move(presenter) : AlertPresenter(showAlert);
}

void StillSavePanel::openSavePanel(bool fullScreen, Completion completion)
{
    QWidget *parent = fullScreen ? nullptr : m_videoWindow.data();
    auto *dialog = new QFileDialog(parent);
    dialog->setObjectName(QStringLiteral("savePanel"));
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setFileMode(QFileDialog::AnyFile);
    dialog->setNameFilter(localized("PNG image") + QStringLiteral(" (*.png)"));
    dialog->setDefaultSuffix(QStringLiteral("png"));
    dialog->selectFile(QStringLiteral("Untitled.png"));
    m_savePanel = dialog;

    auto done = std::make_shared<Completion>(std::move(completion));
    connect(dialog, &QDialog::finished, this, [this, dialog, done](int code) {
        if (!*done) {
            return;
        }
        const Completion finish = std::exchange(*done, nullptr);
        const QString path = code == QDialog::Accepted ? dialog->selectedFiles().value(0) : QString();
        if (m_savePanel == dialog) {
            m_savePanel = nullptr;
        }
        dialog->deleteLater();
        finish(path.isEmpty() ? 0 : 1, path);
    });
    m_presentDialog(dialog, fullScreen);
}

void StillSavePanel::reportSaveFailure(const QString &path, const QString &reason)
{
    auto *alert = new QMessageBox(QMessageBox::Warning, localized("The picture could not be saved."),
                                  localized("The picture could not be saved."), QMessageBox::Ok, m_videoWindow.data());
    alert->setObjectName(QStringLiteral("stillSaveFailedAlert"));
    alert->setInformativeText(QStringLiteral("%1\n\n%2").arg(path, reason));
    alert->setAttribute(Qt::WA_DeleteOnClose);
    m_presentAlert(alert);
}

} // namespace kelvo::ui
