#include "ui/FirmwareUpdateWindow.h"

#include "common/Localization.h"

#include <QLabel>
#include <QStackedWidget>
#include <QVBoxLayout>

namespace kelvo::ui {
namespace {

struct PageEntry {
    const char *identifier;
    const char *text;
};

constexpr PageEntry kPages[] = {
    {"WaitingForDFU", "Waiting for the camera to enter its firmware update mode..."},
    {"InProgress", "Updating the camera's firmware. Do not unplug the camera."},
    {"UploadFailed", "The firmware update failed."},
    {"WaitingForReboot", "Waiting for the camera to restart..."},
    {"PressReset", "Press the camera's reset button."},
    {"FatalError", "The camera could not be updated."},
};

} // namespace

const QStringList &FirmwareUpdateWindow::pageIdentifiers()
{
    static const QStringList identifiers = [] {
        QStringList list;
        for (const PageEntry &page : kPages)
            list << QString::fromLatin1(page.identifier);
        return list;
    }();
    return identifiers;
}

FirmwareUpdateWindow::FirmwareUpdateWindow(QWidget *parent) : ViewerDialog(parent)
{
    setObjectName(QStringLiteral("firmwareUpdateWindow"));
    setWindowTitle(localized("Camera Firmware Update"));
    m_tabView = new QStackedWidget(this);
    m_tabView->setObjectName(QStringLiteral("firmwareUpdateTabView"));
    for (const PageEntry &entry : kPages) {
        auto *page = new QWidget(m_tabView);
        page->setObjectName(QString::fromLatin1(entry.identifier));
        auto *text = new QLabel(localized(entry.text), page);
        text->setWordWrap(true);
        text->setFocusPolicy(Qt::StrongFocus);
        auto *layout = new QVBoxLayout(page);
        layout->addWidget(text);
        layout->addStretch();
        m_tabView->addWidget(page);
    }
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_tabView);
    resize(460, 220);
}

bool FirmwareUpdateWindow::selectPageWithIdentifier(const QString &identifier)
{
    for (int i = 0; i < m_tabView->count(); ++i) {
        if (m_tabView->widget(i)->objectName() == identifier) {
            m_tabView->setCurrentIndex(i);
            return true;
        }
    }
    return false;
}

QString FirmwareUpdateWindow::currentPageIdentifier() const
{
    QWidget *page = m_tabView->currentWidget();
    return page ? page->objectName() : QString();
}

} // namespace kelvo::ui
