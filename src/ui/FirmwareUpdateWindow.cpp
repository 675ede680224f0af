#include "ui/FirmwareUpdateWindow.h"

#include "common/Localization.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace kelvo::ui {
namespace {

using Action = FirmwareUpdateWindow::Action;

struct PageEntry {
    const char *identifier;
    const char *heading;
    const char *text;
    bool progress;
    // In the order they appear; the first is the default button.
    std::initializer_list<Action> actions;
};

const PageEntry kPages[] = {
    {"WaitingForDFU",
     "Put the camera into its update mode",
     "1. Unplug the camera's USB cable from the computer.\n"
     "2. Press and hold the camera's reset button.\n"
     "3. While you hold the button, plug the cable back in, then let go.\n\n"
     "The update starts by itself as soon as the camera is ready.",
     false,
     {Action::Cancel}},
    {"InProgress",
     "Updating the camera",
     "Do not unplug the camera and do not turn off the computer until the update is finished. "
     "This takes a few minutes.",
     true,
     {}},
    {"UploadFailed",
     "The update did not finish",
     "The camera did not take the new firmware. Its old firmware may be incomplete, so do not use it yet.\n\n"
     "Choose Try Again to repeat the update, Cancel to stop, or Quit to close Kelvo Viewer.",
     false,
     {Action::Retry, Action::Cancel, Action::Quit}},
    {"WaitingForReboot",
     "Waiting for the camera to restart",
     "The camera has the new firmware and is restarting. Do not unplug it. "
     "The picture comes back by itself when the camera is ready.",
     false,
     {Action::Cancel}},
    {"PressReset",
     "Reset the camera",
     "Press the camera's reset button once, or unplug the camera's USB cable and plug it back in. "
     "Kelvo Viewer goes on when the camera is back.",
     false,
     {Action::Cancel}},
    {"FatalError",
     "The camera could not be updated",
     "Kelvo Viewer could not open the camera in its update mode. Unplug the camera, plug it back in, and "
     "try again later.",
     false,
     {Action::Cancel, Action::Quit}},
};

const char *actionName(Action action)
{
    switch (action) {
    case Action::Cancel:
        return "cancel";
    case Action::Retry:
        return "retry";
    case Action::Quit:
        return "quit";
    }
    return "";
}

QString actionTitle(Action action)
{
    switch (action) {
    case Action::Cancel:
        return localized("Cancel");
    case Action::Retry:
        return localized("Try Again");
    case Action::Quit:
        return localized("Quit Kelvo Viewer");
    }
    return {};
}

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
    // Many users of the viewer read with low vision: the steps are large.
    QFont large = font();
    large.setPointSizeF(large.pointSizeF() * 1.4);
    QFont heading = large;
    heading.setBold(true);
    heading.setPointSizeF(large.pointSizeF() * 1.2);

    m_tabView = new QStackedWidget(this);
    m_tabView->setObjectName(QStringLiteral("firmwareUpdateTabView"));
    m_progress = new QProgressBar;
    m_progress->setObjectName(QStringLiteral("firmwareUpdateProgress"));
    m_progress->setRange(0, 100);
    m_progress->setValue(0);
    m_progress->setFont(large);
    m_progress->setAccessibleName(localized("Firmware update progress"));
    for (const PageEntry &entry : kPages) {
        auto *page = new QWidget(m_tabView);
        page->setObjectName(QString::fromLatin1(entry.identifier));
        auto *layout = new QVBoxLayout(page);
        auto *title = new QLabel(localized(entry.heading), page);
        title->setFont(heading);
        title->setWordWrap(true);
        auto *text = new QLabel(localized(entry.text), page);
        text->setFont(large);
        text->setWordWrap(true);
        // A screen reader reaches the instructions with Tab as well.
        text->setFocusPolicy(Qt::StrongFocus);
        page->setAccessibleName(title->text());
        page->setAccessibleDescription(text->text());
        layout->addWidget(title);
        layout->addWidget(text);
        if (entry.progress) {
            m_progress->setParent(page);
            layout->addWidget(m_progress);
        }
        layout->addStretch();
        auto *buttons = new QHBoxLayout;
        buttons->addStretch();
        for (const Action action : entry.actions) {
            auto *button = new QPushButton(actionTitle(action), page);
            button->setObjectName(QString::fromLatin1(actionName(action)));
            button->setFont(large);
            button->setAutoDefault(true);
            connect(button, &QPushButton::clicked, this, [this, action] { Q_EMIT actionRequested(action); });
            buttons->addWidget(button);
        }
        layout->addLayout(buttons);
        m_tabView->addWidget(page);
    }
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_tabView);
    resize(640, 400);
}

bool FirmwareUpdateWindow::selectPageWithIdentifier(const QString &identifier)
{
    for (int i = 0; i < m_tabView->count(); ++i) {
        QWidget *page = m_tabView->widget(i);
        if (page->objectName() != identifier)
            continue;
        m_tabView->setCurrentIndex(i);
        const QList<QPushButton *> buttons = page->findChildren<QPushButton *>();
        if (!buttons.isEmpty()) {
            buttons.first()->setDefault(true);
            buttons.first()->setFocus(Qt::OtherFocusReason);
        }
        return true;
    }
    return false;
}

QString FirmwareUpdateWindow::currentPageIdentifier() const
{
    QWidget *page = m_tabView->currentWidget();
    return page ? page->objectName() : QString();
}

QPushButton *FirmwareUpdateWindow::button(const QString &page, Action action) const
{
    for (int i = 0; i < m_tabView->count(); ++i) {
        QWidget *widget = m_tabView->widget(i);
        if (widget->objectName() == page)
            return widget->findChild<QPushButton *>(QString::fromLatin1(actionName(action)));
    }
    return nullptr;
}

void FirmwareUpdateWindow::setProgress(double percent)
{
    if (std::isfinite(percent))
        m_progress->setValue(static_cast<int>(std::lround(std::clamp(percent, 0.0, 100.0))));
}

void FirmwareUpdateWindow::closeWhenDone()
{
    m_closing = true;
    close();
    m_closing = false;
}

void FirmwareUpdateWindow::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        if (QPushButton *cancel = button(currentPageIdentifier(), Action::Cancel))
            cancel->click();
        return;
    }
    ViewerDialog::keyPressEvent(event);
}

void FirmwareUpdateWindow::closeEvent(QCloseEvent *event)
{
    if (m_closing) {
        ViewerDialog::closeEvent(event);
        return;
    }
    // Closing the window is the page's Cancel; the procedure decides whether
    // and when the window goes.
    event->ignore();
    if (QPushButton *cancel = button(currentPageIdentifier(), Action::Cancel))
        cancel->click();
}

} // namespace kelvo::ui
