#include "app/AlertPresenter.h"

#include "common/Localization.h"

#include <QMessageBox>
#include <QPushButton>

namespace kelvo::app {

bool MessageBoxAlertPresenter::confirmFactoryReset()
{
    QMessageBox alert;
    alert.setIcon(QMessageBox::Question);
    alert.setWindowTitle(QStringLiteral("Kelvo Viewer"));
    alert.setText(localized("Are you sure you want to reset to default settings?"));
    alert.setInformativeText(QString());
    QPushButton *cancel = alert.addButton(localized("Cancel"), QMessageBox::RejectRole);
    alert.addButton(localized("Reset"), QMessageBox::DestructiveRole);
    alert.setDefaultButton(cancel);
    alert.setEscapeButton(cancel);
    alert.exec();
    return alert.clickedButton() != cancel;
}

void MessageBoxAlertPresenter::showError(const QString &message, const QString &details)
{
    QMessageBox alert;
    alert.setIcon(QMessageBox::Critical);
    alert.setWindowTitle(QStringLiteral("Kelvo Viewer"));
    alert.setText(message);
    alert.setInformativeText(details);
    alert.exec();
}

} // namespace kelvo::app
