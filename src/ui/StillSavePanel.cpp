#include "ui/StillSavePanel.h"

#include "common/Localization.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QWidget>

#include <utility>

namespace kelvo::ui {

StillSavePanel::StillSavePanel(QWidget *videoWindow, QObject *parent)
    : QObject(parent), m_videoWindow(videoWindow), m_presentDialog(showSaveDialog), m_presentAlert(showAlert)
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
    m_presentDialog = presenter ? std::move(presenter) : DialogPresenter(showSaveDialog);
}

void StillSavePanel::setAlertPresenter(AlertPresenter presenter)
{
    m_presentAlert = presenter ? std::move(presenter) : AlertPresenter(showAlert);
}

void StillSavePanel::openSavePanel(bool fullScreen, Completion completion)
{
    QFileDialog *dialog =
        makeSaveDialog({QStringLiteral("savePanel"), {}, localized("PNG image"), QStringLiteral("png")},
                       m_videoWindow.data(), fullScreen);
    m_savePanel = dialog;
    whenSaveDialogEnds(dialog, this,
                       [this, dialog, completion = std::move(completion)](int result, const QString &path) {
                           if (m_savePanel == dialog)
                               m_savePanel = nullptr;
                           completion(result, path);
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
