#pragma once

#include <QObject>

namespace kelvo::speech {

// Whether the desktop's screen reader runs, as the accessibility bus tells
// (org.a11y.Status.ScreenReaderEnabled on the session bus). Asked without
// waiting, and followed as it changes; false without a session bus.
// Thread: main thread.
class ScreenReaderStatus : public QObject {
    Q_OBJECT
public:
    explicit ScreenReaderStatus(QObject *parent = nullptr);
    bool isRunning() const { return m_running; }

signals:
    void runningChanged(bool running);

private slots:
    void propertiesChanged(const QString &interface, const QVariantMap &changed, const QStringList &invalidated);

private:
    void set(bool running);
    bool m_running = false;
};

} // namespace kelvo::speech
