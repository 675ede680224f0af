#include "viewer/UpdateQuestionAlerts.h"

#include "common/BuildInfo.h"
#include "common/Localization.h"

#include <QMessageBox>
#include <QPushButton>

namespace kelvo::viewer {

bool UpdateQuestionAlerts::askToDownload(Kind kind, const QString &message, const QString &defaultTitle,
                                         const QString &alternateTitle)
{
    QMessageBox alert;
    alert.setObjectName(kind == Kind::AppDownload ? QStringLiteral("appUpdateQuestion")
                                                  : QStringLiteral("firmwareUpdateQuestion"));
    alert.setIcon(QMessageBox::Question);
    alert.setWindowTitle(QString::fromUtf8(build::kApplicationName));
    alert.setText(message);
    alert.setInformativeText(QString());
    QPushButton *yes = alert.addButton(defaultTitle, QMessageBox::AcceptRole);
    QPushButton *no = alert.addButton(alternateTitle, QMessageBox::RejectRole);
    alert.setDefaultButton(yes);
    alert.setEscapeButton(no);
    alert.exec();
    return alert.clickedButton() == yes;
}

bool UpdateQuestionAlerts::askToInstallFirmware(const QString &version)
{
    QMessageBox alert;
    alert.setObjectName(QStringLiteral("readyToUpdateAlert"));
    alert.setIcon(QMessageBox::Question);
    alert.setWindowTitle(QString::fromUtf8(build::kApplicationName));
    alert.setText(localized("A new firmware for your camera (version %1) is ready to install.").arg(version));
    alert.setInformativeText(
        localized("The update takes a few minutes. The picture is not shown meanwhile, and you will be asked to "
                  "put the camera into its update mode. Install it now?"));
    QPushButton *install = alert.addButton(localized("Install Now"), QMessageBox::AcceptRole);
    QPushButton *later = alert.addButton(localized("Later"), QMessageBox::RejectRole);
    alert.setDefaultButton(install);
    alert.setEscapeButton(later);
    alert.exec();
    return alert.clickedButton() == install;
}

} // namespace kelvo::viewer
