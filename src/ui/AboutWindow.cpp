#include "ui/AboutWindow.h"

#include "common/Localization.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace kelvo::ui {

AboutWindow::AboutWindow(const QString &version, const QString &copyright, QWidget *parent) : ViewerDialog(parent)
{
    setObjectName(QStringLiteral("aboutWindow"));
    setWindowTitle(localized("About Kelvo Viewer"));

    auto *name = new QLabel(QStringLiteral("Kelvo Viewer"), this);
    QFont large = name->font();
    large.setPointSizeF(large.pointSizeF() * 1.8);
    large.setBold(true);
    name->setFont(large);
    m_version = new QLabel(localized("Version %1").arg(version), this);
    m_version->setObjectName(QStringLiteral("bundleVersion"));
    m_copyright = new QLabel(copyright, this);
    m_copyright->setObjectName(QStringLiteral("bundleCopyright"));
    for (QLabel *label : {name, m_version, m_copyright}) {
        label->setAlignment(Qt::AlignCenter);
        label->setTextInteractionFlags(Qt::TextSelectableByKeyboard | Qt::TextSelectableByMouse);
        label->setFocusPolicy(Qt::StrongFocus);
    }

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QWidget::close);
    connect(buttons->button(QDialogButtonBox::Close), &QPushButton::clicked, this, &QWidget::close);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(name);
    layout->addWidget(m_version);
    layout->addWidget(m_copyright);
    layout->addWidget(buttons);
}

QString AboutWindow::versionText() const
{
    return m_version->text();
}

QString AboutWindow::copyrightText() const
{
    return m_copyright->text();
}

} // namespace kelvo::ui
