#pragma once

#include "ui/ViewerDialog.h"

#include <QWidget>

class QProgressBar;
class QPushButton;
class QStackedWidget;

namespace kelvo::ui {

// Leads the user through a firmware update, one page per step. Pages are
// found by identifier: "WaitingForDFU", "InProgress", "UploadFailed",
// "WaitingForReboot", "PressReset", "FatalError". Each page says what to do
// in plain words and carries the buttons that make sense in its step
// (objects named "cancel", "retry" and "quit" inside the page); the first of
// them is the default button, and Escape or the window's close button act as
// the page's Cancel where it has one. While the camera takes the image there
// is no Cancel: the window stays.
// Thread: main thread.
class FirmwareUpdateWindow : public ViewerDialog {
    Q_OBJECT
public:
    enum class Action { Cancel, Retry, Quit };

    explicit FirmwareUpdateWindow(QWidget *parent = nullptr);

    QStackedWidget *tabView() const { return m_tabView; }
    static const QStringList &pageIdentifiers();
    // Shows the page with this identifier and moves the focus to its default
    // button; answers whether it exists.
    bool selectPageWithIdentifier(const QString &identifier);
    QString currentPageIdentifier() const;
    // The button of an action on a page; null where the page has none.
    QPushButton *button(const QString &page, Action action) const;

    // The upload's progress, a percentage.
    void setProgress(double percent);
    QProgressBar *progressBar() const { return m_progress; }

    // The procedure is over: the window closes even where the page has no
    // Cancel.
    void closeWhenDone();

Q_SIGNALS:
    void actionRequested(kelvo::ui::FirmwareUpdateWindow::Action action);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    QStackedWidget *m_tabView;
    QProgressBar *m_progress;
    bool m_closing = false;
};

} // namespace kelvo::ui
