#include "viewer/UpdateQuestionAlerts.h"

#include "common/BuildInfo.h"

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

} // namespace kelvo::viewer
