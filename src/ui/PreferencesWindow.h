#pragma once

#include "ui/ViewerDialog.h"

#include <QWidget>

class QLabel;
class QPushButton;
class QTabWidget;
class QTableWidget;

namespace kelvo::ui {

// The preferences: general settings and the choice of the colour modes that
// the camera's mode button cycles through.
class PreferencesWindow : public ViewerDialog {
    Q_OBJECT
public:
    explicit PreferencesWindow(QWidget *parent = nullptr);

    QTabWidget *tabView() const { return m_tabView; }
    QTableWidget *colorTableView() const { return m_colorTableView; }
    QPushButton *cancelButton() const { return m_cancelButton; }
    QLabel *warningTextField() const { return m_warning; }

    // Selects the page whose identifier (object name) is given; answers
    // whether there is one.
    bool selectTabWithIdentifier(const QString &identifier);

private:
    QTabWidget *m_tabView;
    QTableWidget *m_colorTableView;
    QPushButton *m_cancelButton;
    QLabel *m_warning;
};

} // namespace kelvo::ui
