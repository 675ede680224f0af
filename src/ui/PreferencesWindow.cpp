#include "ui/PreferencesWindow.h"

#include "common/Localization.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>

namespace kelvo::ui {

PreferencesWindow::PreferencesWindow(QWidget *parent) : ViewerDialog(parent)
{
    setObjectName(QStringLiteral("preferencesWindow"));
    setWindowTitle(localized("Preferences"));

    m_tabView = new QTabWidget(this);
    m_tabView->setObjectName(QStringLiteral("tabView"));

    auto *general = new QWidget(m_tabView);
    general->setObjectName(QStringLiteral("general_tab"));
    auto *generalLayout = new QVBoxLayout(general);
    m_warning =
        new QLabel(localized("Kelvo Viewer is running from a read-only location and cannot update itself."), general);
    m_warning->setObjectName(QStringLiteral("preferencesWarningTextField"));
    m_warning->setWordWrap(true);
    m_warning->setVisible(false);
    generalLayout->addWidget(m_warning);
    generalLayout->addStretch();
    m_tabView->addTab(general, localized("General"));

    auto *colours = new QWidget(m_tabView);
    colours->setObjectName(QStringLiteral("colors_tab"));
    auto *coloursLayout = new QVBoxLayout(colours);
    auto *explanation =
        new QLabel(localized("Choose the colour modes that the camera's mode button steps through."), colours);
    explanation->setWordWrap(true);
    m_colorTableView = new QTableWidget(0, 2, colours);
    m_colorTableView->setObjectName(QStringLiteral("colorTableView"));
    m_colorTableView->setHorizontalHeaderLabels({localized("Use"), localized("Colour Mode")});
    m_colorTableView->horizontalHeader()->setStretchLastSection(true);
    m_colorTableView->verticalHeader()->setVisible(false);
    explanation->setBuddy(m_colorTableView);
    coloursLayout->addWidget(explanation);
    coloursLayout->addWidget(m_colorTableView);
    m_tabView->addTab(colours, localized("Colours"));

    m_cancelButton = new QPushButton(localized("Cancel"), this);
    m_cancelButton->setObjectName(QStringLiteral("cancelButton"));
    auto *okButton = new QPushButton(localized("OK"), this);
    okButton->setDefault(true);
    connect(m_cancelButton, &QPushButton::clicked, this, &QWidget::close);
    connect(okButton, &QPushButton::clicked, this, &QWidget::close);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_cancelButton);
    buttons->addWidget(okButton);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_tabView);
    layout->addLayout(buttons);
    resize(480, 420);
}

bool PreferencesWindow::selectTabWithIdentifier(const QString &identifier)
{
    for (int i = 0; i < m_tabView->count(); ++i) {
        if (m_tabView->widget(i)->objectName() == identifier) {
            m_tabView->setCurrentIndex(i);
            return true;
        }
    }
    return false;
}

} // namespace kelvo::ui
