#pragma once

#include "ui/SaveDialog.h"
#include "video/MovieRecorder.h"

#include <QFileDialog>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <functional>

namespace kelvo::ui {

// The recorded movie's save dialog, its alerts, and the hand-over of the
// kept movie to the desktop's player. The dialog offers QuickTime movies
// only; it is window-modal on the video window, or its own application-modal
// window in full screen (where a dialog tied to the covered window could be
// hidden). Main thread.
class MovieSavePanel : public QObject, public kelvo::video::MovieRecordingUi {
    Q_OBJECT
public:
    // How prepared dialogs, alerts and the opening of a file are carried
    // out. The defaults show them and ask the desktop (xdg-open); tests
    // replace them to answer the dialog, read the alert or see what opens.
    using DialogPresenter = SaveDialogPresenter;
    using FileOpener = std::function<void(const QString &path)>;

    explicit MovieSavePanel(QWidget *videoWindow = nullptr, QObject *parent = nullptr);
    ~MovieSavePanel() override;

    void setVideoWindow(QWidget *videoWindow) { m_videoWindow = videoWindow; }
    void setDialogPresenter(DialogPresenter presenter);
    void setAlertPresenter(AlertPresenter presenter);
    void setFileOpener(FileOpener opener);

    void alertNoTemporaryFile() override;
    void openMovieSavePanel(bool fullScreen, Completion completion) override;
    void closeMovieSavePanel() override;
    void presentRecordingError(const QString &message, bool onVideoWindow) override;
    void openWithDefaultApplication(const QString &path) override;

    QFileDialog *savePanel() const { return m_savePanel; }

private:
    QPointer<QWidget> m_videoWindow;
    QPointer<QFileDialog> m_savePanel;
    DialogPresenter m_presentDialog;
    AlertPresenter m_presentAlert;
    FileOpener m_openFile;
};

} // namespace kelvo::ui
