#pragma once

#include "ui/SaveDialog.h"
#include "video/still/StillSaveUi.h"

#include <QFileDialog>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <functional>

namespace kelvo::ui {

// The still picture's save dialog and the alert for a failed write, on the
// video window: a QFileDialog for "png" files suggesting "Untitled.png",
// window-modal on the video window, or its own application-modal window in
// full screen (where a dialog tied to the covered window could be hidden).
// Main thread.
class StillSavePanel : public QObject, public kelvo::video::StillSaveUi {
    Q_OBJECT
public:
    using DialogPresenter = SaveDialogPresenter;

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
