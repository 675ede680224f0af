#pragma once

#include "ui/ViewerDialog.h"

#include <QWidget>

class QLabel;

namespace kelvo::ui {

// Shows the application's name, version and copyright.
class AboutWindow : public ViewerDialog {
    Q_OBJECT
public:
    AboutWindow(const QString &version, const QString &copyright, QWidget *parent = nullptr);

    QString versionText() const;
    QString copyrightText() const;

private:
    QLabel *m_version;
    QLabel *m_copyright;
};

} // namespace kelvo::ui
