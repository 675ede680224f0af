#pragma once

#include <QPointer>
#include <QString>
#include <QStringList>

class QDialog;
class QWidget;

namespace kelvo::ui {

// Opens the user manual: in the desktop's browser where there is one, since
// the reader has set it up for their eyes (zoom, fonts, colours, screen
// reader); otherwise in a help window of the viewer's own. Lives on the main
// thread.
class HelpManual {
public:
    enum class Viewer {
        Automatic, // the browser when the desktop has one, else the help window
        HelpWindow // always the help window (tests, machines without a desktop)
    };

    // KELVO_HELP_BROWSER=none in the environment also chooses the help window.
    explicit HelpManual(Viewer viewer = Viewer::Automatic);
    ~HelpManual();
    HelpManual(const HelpManual &) = delete;
    HelpManual &operator=(const HelpManual &) = delete;

    // The places index.html is looked for, in order: $KELVO_HELP_DIR alone
    // when it is set (an explicit choice must not fall back silently), else
    // <executable dir>/../share/kelvo-viewer/help, then the build tree.
    static QStringList candidatePaths();
    // The first candidate that exists; empty when none does.
    static QString manualPath();

    // Shows the manual, raising the help window when it is already open.
    // Returns false when the manual is missing, after telling the user which
    // paths were looked at and logging them.
    bool open(QWidget *parent);

    // The help window, while one is open.
    QDialog *helpWindow() const { return m_window; }

private:
    bool openInBrowser(const QString &path);
    void openHelpWindow(const QString &path, QWidget *parent);

    Viewer m_viewer;
    QPointer<QDialog> m_window;
};

} // namespace kelvo::ui
