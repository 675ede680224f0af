#pragma once

#include "ui/ViewerDialog.h"

#include <QWidget>

class QProgressBar;

namespace kelvo::ui {

// The camera button test: one counter per button and head position.
class DiagnosticWindow : public ViewerDialog {
    Q_OBJECT
public:
    explicit DiagnosticWindow(QWidget *parent = nullptr);

    // The ten counters, by their outlet names ("modeLevelIndicator", ...).
    static const QStringList &indicatorNames();
    QProgressBar *indicator(const QString &name) const;

    // Counts a report code of the camera (or logs the few it ignores).
    void handleButton(long code);
    // Every counter back to 0, as the window is shown again.
    void resetValues();

signals:
    // The window was closed (its close control, Escape, or the menu).
    void closed();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    QList<QProgressBar *> m_indicators;
};

} // namespace kelvo::ui
