#include "viewer/MainWindowDelegate.h"

#include "ui/DraggableWindow.h"
#include "ui/MainMenu.h"
#include "ui/MenuTags.h"

#include <QAction>
#include <QMenuBar>

namespace kelvo::viewer {

MainWindowDelegate::MainWindowDelegate() = default;

MainWindowDelegate::~MainWindowDelegate()
{
    // Windows go before the controller state they show.
    m_topLevelObjects.clear();
}

std::vector<QWidget *> MainWindowDelegate::loadInterface()
{
    std::vector<QWidget *> topLevel;
    if (interfaceLoaded())
        return topLevel;
    m_outlets = ui::loadMainWindowInterface(m_topLevelObjects);
    for (const auto &object : m_topLevelObjects)
        topLevel.push_back(object.get());
    return topLevel;
}

void MainWindowDelegate::windowControllerDidLoadNib(QObject *windowController)
{
    Q_UNUSED(windowController);
    if (!interfaceLoaded())
        return;
    connect(m_outlets.videoWindow, &ui::DraggableWindow::windowWillClose, this,
            [this] { setLineMarkerMenuEnabled(false); });
    m_outlets.mainMenu->setHandler(QStringLiteral("performClose:"),
                                   [this](QAction *) { m_outlets.videoWindow->close(); });
}

bool MainWindowDelegate::setCheckMarkForItem(int itemTag, int menuTag, bool value)
{
    if (!interfaceLoaded())
        return false;
    QAction *item = ui::findMenuItem(m_outlets.mainMenu->menuBar(), menuTag, itemTag);
    if (!item)
        return false;
    item->setCheckable(true);
    item->setChecked(value);
    return true;
}

void MainWindowDelegate::setLineMarkerMenuEnabled(bool enabled)
{
    if (!interfaceLoaded())
        return;
    QMenuBar *bar = m_outlets.mainMenu->menuBar();
    for (int tag : {ui::MenuTag::Guides, ui::MenuTag::Audio, ui::MenuTag::Camera, ui::MenuTag::Colour}) {
        if (QAction *menu = ui::findTopLevelItem(bar, tag))
            menu->setEnabled(enabled);
    }
    if (QAction *close = ui::findMenuItem(bar, ui::MenuTag::Window, ui::MenuTag::CloseWindow))
        close->setEnabled(enabled);
}

void MainWindowDelegate::startPseudoModal()
{
    if (!interfaceLoaded())
        return;
    for (QAction *top : m_outlets.mainMenu->menuBar()->actions())
        top->setEnabled(false);
}

void MainWindowDelegate::endPseudoModal()
{
    if (!interfaceLoaded())
        return;
    for (QAction *top : m_outlets.mainMenu->menuBar()->actions())
        top->setEnabled(true);
}

void MainWindowDelegate::initializeVideoCapture()
{
    ++m_initializeVideoCaptureCount;
}

void MainWindowDelegate::savePreferences()
{
    ++m_savePreferencesCount;
}

void MainWindowDelegate::factoryReset() {}

void MainWindowDelegate::pauseDownloadsOnQuit() {}

} // namespace kelvo::viewer
