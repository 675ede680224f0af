#include "ui/MovieSavePanel.h"

#include "common/Localization.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>
#include <QUrl>
#include <QWidget>

#include <utility>

namespace kelvo::ui {

namespace {

void openWithDesktop(const QString &path)
{
    QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

} // namespace

MovieSavePanel::MovieSavePanel(QWidget *videoWindow, QObject *parent)
    : QObject(parent), m_videoWindow(videoWindow), m_presentDialog(showSaveDialog), m_presentAlert(showAlert),
      m_openFile(openWithDesktop)
{}

MovieSavePanel::~MovieSavePanel()
{
    // A dialog still open belongs to a movie that can no longer be kept.
    if (m_savePanel) {
        m_savePanel->disconnect(this);
        delete m_savePanel;
    }
}

void MovieSavePanel::setDialogPresenter(DialogPresenter presenter)
{
    m_presentDialog = presenter ? std::move(presenter) : DialogPresenter(showSaveDialog);
}

void MovieSavePanel::setAlertPresenter(AlertPresenter presenter)
{
    m_presentAlert = presenter ? std::move(presenter) : AlertPresenter(showAlert);
}

void MovieSavePanel::setFileOpener(FileOpener opener)
{
    m_openFile = opener ? std::move(opener) : FileOpener(openWithDesktop);
}

void MovieSavePanel::alertNoTemporaryFile()
{
    auto *alert =
        new QMessageBox(QMessageBox::Warning, QStringLiteral("Kelvo Viewer"),
                        localized("Could not create a temporary file."), QMessageBox::NoButton, m_videoWindow.data());
    alert->setObjectName(QStringLiteral("temporaryMovieFileAlert"));
    alert->addButton(localized("OK"), QMessageBox::AcceptRole);
    alert->setInformativeText(QString());
    alert->setWindowModality(Qt::ApplicationModal);
    alert->setAttribute(Qt::WA_DeleteOnClose);
    m_presentAlert(alert);
}

void MovieSavePanel::openMovieSavePanel(bool fullScreen, Completion completion)
{
    QFileDialog *dialog = makeSaveDialog({QStringLiteral("movieSavePanel"), localized("Save Movie"),
                                          localized("QuickTime movie"), QStringLiteral("mov")},
                                         m_videoWindow.data(), fullScreen);
    m_savePanel = dialog;
    // The dialog is kept as the open one until the movie is in place, so
    // that a failed move can still close it.
    whenSaveDialogEnds(dialog, this,
                       [this, dialog, completion = std::move(completion)](int result, const QString &path) {
                           completion(result, path);
                           if (m_savePanel == dialog)
                               m_savePanel = nullptr;
                       });
    m_presentDialog(dialog, fullScreen);
}

void MovieSavePanel::closeMovieSavePanel()
{
    if (m_savePanel)
        m_savePanel->hide();
}

void MovieSavePanel::presentRecordingError(const QString &message, bool onVideoWindow)
{
    auto *alert = new QMessageBox(QMessageBox::Warning, QStringLiteral("Kelvo Viewer"), message, QMessageBox::Ok,
                                  m_videoWindow.data());
    alert->setObjectName(QStringLiteral("recordingErrorAlert"));
    // A sheet holds the video window until read; other errors leave the
    // viewer usable, since the live picture keeps running.
    if (!onVideoWindow)
        alert->setWindowModality(Qt::NonModal);
    alert->setAttribute(Qt::WA_DeleteOnClose);
    m_presentAlert(alert);
}

void MovieSavePanel::openWithDefaultApplication(const QString &path)
{
    m_openFile(path);
}

} // namespace kelvo::ui
