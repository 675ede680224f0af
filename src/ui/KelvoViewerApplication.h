#pragma once

#include <QApplication>

namespace kelvo::ui {

// The application object. It knows the application delegate, through which
// every other object reaches the long-lived parts of the viewer.
// Thread: main thread.
class KelvoViewerApplication : public QApplication {
    Q_OBJECT
public:
    KelvoViewerApplication(int &argc, char **argv);

    QObject *delegate() const { return m_delegate; }
    void setDelegate(QObject *delegate) { m_delegate = delegate; }

    static KelvoViewerApplication *instance();

private:
    QObject *m_delegate = nullptr;
};

} // namespace kelvo::ui
