#include "app/AlertPresenter.h"

#include "common/Localization.h"

#include <QMessageBox>
#include <QPushButton>

namespace kelvo::app {

AlertPresenter::DriverAnswer MessageBoxAlertPresenter::askToInstallDriver()
{
    QMessageBox alert;
    alert.setIcon(QMessageBox::Warning);
    alert.setWindowTitle(QStringLiteral("Kelvo Viewer"));
    alert.setText(QStringLiteral("Driver Installation Needed"));
    alert.setInformativeText(
        localized("Kelvo Viewer needs to install a camera access rule so that it can use the camera's buttons, "
                  "head position and light. Installing it asks for the administrator password."));
    QPushButton *install = alert.addButton(localized("Install"), QMessageBox::AcceptRole);
    QPushButton *quit = alert.addButton(localized("Quit"), QMessageBox::RejectRole);
    alert.setDefaultButton(install); // Return
    alert.setEscapeButton(quit);     // Escape
    alert.exec();
    return alert.clickedButton() == install ? DriverAnswer::Install : DriverAnswer::Quit;
}

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
