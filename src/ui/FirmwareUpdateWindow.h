#pragma once

#include "ui/ViewerDialog.h"

#include <QWidget>

class QStackedWidget;

namespace kelvo::ui {

// Leads the user through a firmware update, one page per step. Pages are
// found by identifier: "WaitingForDFU", "InProgress", "UploadFailed",
// "WaitingForReboot", "PressReset", "FatalError".
class FirmwareUpdateWindow : public ViewerDialog {
    Q_OBJECT
public:
    explicit FirmwareUpdateWindow(QWidget *parent = nullptr);

    QStackedWidget *tabView() const { return m_tabView; }
    static const QStringList &pageIdentifiers();
    // Shows the page with this identifier; answers whether it exists.
    bool selectPageWithIdentifier(const QString &identifier);
    QString currentPageIdentifier() const;

private:
    QStackedWidget *m_tabView;
};

} // namespace kelvo::ui
