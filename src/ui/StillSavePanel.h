#pragma once

#include "video/still/StillSaveUi.h"

#include <QFileDialog>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <functional>

class QMessageBox;

namespace kelvo::ui {

// The still picture's save dialog and the alert for a failed write, on the
// video window: a QFileDialog for "png" files suggesting "Untitled.png",
// window-modal on the video window, or its own application-modal window in
// full screen (where a dialog tied to the covered window could be hidden).
// Main thread.
class StillSavePanel : public QObject, public kelvo::video::StillSaveUi {
    Q_OBJECT
public:
    // How a prepared dialog or alert is put on screen. The defaults show
    // them; tests replace them to answer the dialog or read the alert.
    // Answering a dialog means finishing it (accept, reject or done).
    using DialogPresenter = std::function<void(QFileDialog *dialog, bool fullScreen)>;
    using AlertPresenter = std::function<void(QMessageBox *alert)>;

    explicit StillSavePanel(QWidget *videoWindow = nullptr, QObject *parent = nullptr);
    ~StillSavePanel() override;

    void setVideoWindow(QWidget *videoWindow) { m_videoWindow = videoWindow; }
    void setDialogPresenter(DialogPresenter presenter);
    void setAlertPresenter(AlertPresenter presenter);

    void openSavePanel(bool fullScreen, Completion completion) override;
    void reportSaveFailure(const QString &path, const QString &reason) override;

    // The dialog of the current save while it is open (savePanel).
    QFileDialog *savePanel() const { return m_savePanel; }

private:
    QPointer<QWidget> m_videoWindow;
    QPointer<QFileDialog> m_savePanel;
    DialogPresenter m_presentDialog;
    AlertPresenter m_presentAlert;
};

} // namespace kelvo::ui
