#pragma once

#include <QWidget>

class QProgressBar;

namespace kelvo::ui {

// The camera button test: one counter per button and head position.
class DiagnosticWindow : public QWidget {
    Q_OBJECT
public:
    explicit DiagnosticWindow(QWidget *parent = nullptr);

    // The ten counters, by their outlet names ("modeLevelIndicator", ...).
    static const QStringList &indicatorNames();
    QProgressBar *indicator(const QString &name) const;

private:
    QList<QProgressBar *> m_indicators;
};

} // namespace kelvo::ui
