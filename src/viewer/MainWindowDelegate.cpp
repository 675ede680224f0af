#include "viewer/MainWindowDelegate.h"

#include "common/Localization.h"
#include "common/SystemLog.h"
#include "device/DiagnosticSink.h"
#include "device/ReportProtocol.h"
#include "ui/DiagnosticWindow.h"
#include "ui/DraggableView.h"
#include "ui/DraggableWindow.h"
#include "ui/KeyDelivery.h"
#include "ui/LineOverlayView.h"
#include "ui/MainMenu.h"
#include "ui/MenuTags.h"
#include "ui/PreferencesWindow.h"
#include "ui/UnscrollableScrollView.h"
#include "ui/VideoView.h"
#include "viewer/VideoWindowPlacement.h"

#include <QAction>
#include <QApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QScreen>
#include <QTimer>

namespace kelvo::viewer {

MainWindowDelegate::MainWindowDelegate(const QString &settingsFilePath)
    : m_settingsStore(settingsFilePath.isEmpty() ? settings::SettingsStore::defaultFilePath() : settingsFilePath)
{
    m_model.setCameraCommandSender(this);
    observeModel();
    // No camera is selected yet: this reads the global settings only.
    loadPreferences();
}

MainWindowDelegate::~MainWindowDelegate()
{
    if (interfaceLoaded())
        qApp->removeEventFilter(this);
    // The overlay calls back into the controller; it goes with the windows,
    // before the controller's state.
    if (m_lineOverlayView)
        m_lineOverlayView->setMainWindowDelegate(nullptr);
    // The placement watches the window's events; it must not see the ones a
    // window sends while it is being destroyed.
    delete m_placement;
    m_placement = nullptr;
    m_topLevelObjects.clear();
}

std::vector<QWidget *> MainWindowDelegate::loadInterface(ApplicationCommands *application)
{
    std::vector<QWidget *> topLevel;
    if (interfaceLoaded())
        return topLevel;
    m_application = application;
    m_outlets = ui::loadMainWindowInterface(m_topLevelObjects, this);

    auto *overlay = new ui::LineOverlayView(m_outlets.videoContainer->rect(), this);
    overlay->setMainMenuBar(m_outlets.mainMenu->menuBar());
    m_outlets.videoContainer->replaceLayer(m_outlets.lineOverlayView, overlay);
    m_outlets.lineOverlayView = overlay;
    m_lineOverlayView = overlay;

    m_stillSavePanel.setVideoWindow(m_outlets.videoWindow);
    connect(m_outlets.diagnosticWindow, &ui::DiagnosticWindow::closed, this,
            &MainWindowDelegate::diagnosticsWindowDidClose);
    m_placement = new VideoWindowPlacement(m_outlets, *this, this);
    // Escape is taken before any widget of the video window sees it: after
    // the menu bar was used from the keyboard, the focus may rest on a
    // widget that would swallow it.
    qApp->installEventFilter(this);
    m_outlets.mainMenu->validateAll();
    for (const auto &object : m_topLevelObjects)
        topLevel.push_back(object.get());
    return topLevel;
}

void MainWindowDelegate::interfaceDidLoad()
{
    if (!interfaceLoaded())
        return;
    updateCameraMenu();
    updateAudioInputMenu();
    updateColorModeMenus();
    if (m_lineOverlayView)
        m_lineOverlayView->updateReadingGuideMenus();
}

void MainWindowDelegate::prepareVideoWindow()
{
    if (m_placement)
        m_placement->prepareWindow();
}

void MainWindowDelegate::bringVideoWindowForward()
{
    if (interfaceLoaded())
        m_outlets.videoWindow->makeKeyAndOrderFront();
}

QAction *MainWindowDelegate::menuItem(int menuTag, int itemTag) const
{
    return interfaceLoaded() ? ui::findMenuItem(m_outlets.mainMenu->menuBar(), menuTag, itemTag) : nullptr;
}

void MainWindowDelegate::perform(ui::MenuCommand command, QAction *item)
{
    using C = ui::MenuCommand;
    // Every command is listed, with no default: a new command without its
    // handler does not compile.
    switch (command) {
    case C::ShowAboutWindow:
        m_application->showAboutWindow();
        return;
    case C::ShowPreferencesWindow:
        showPreferencesWindow();
        return;
    case C::CheckForUpdates:
        checkForUpdates();
        return;
    case C::FactoryReset:
        m_application->factoryResetWithConfirmation();
        return;
    case C::Quit:
        m_application->quit();
        return;
    case C::ChooseVideoDevice:
        chooseVideoDevice(item);
        return;
    case C::FreezeThaw:
        freezeThaw();
        return;
    case C::SaveFreezeFrame:
        saveFreezeFrame();
        return;
    case C::ZoomCameraIn:
        zoomCameraIn();
        return;
    case C::ZoomCameraOut:
        zoomCameraOut();
        return;
    case C::FindZoomPosition:
        findZoomPosition();
        return;
    case C::ToggleLight:
        toggleLight();
        return;
    case C::Rotate:
        rotateWindowUIAction();
        return;
    case C::Mirror:
        mirrorScreenUIAction();
        return;
    case C::SetColorBalance:
        setColorBalance(item);
        return;
    case C::ToggleDeinterlacing:
        toggleEnableDeinterlacing();
        return;
    case C::ShowHideBatteryLevel:
        showHideBatteryLevel();
        return;
    case C::ShowDiagnosticsWindow:
        showDiagnosticsWindow();
        return;
    case C::ChooseAudioDevice:
        chooseAudioDevice(item);
        return;
    case C::MuteUnmute:
        muteUnmute();
        return;
    case C::ShowHideAudioLevel:
        showHideAudioLevel();
        return;
    case C::ToggleHorizontalGuides:
        toggleHorizontalReadingGuidesMode();
        return;
    case C::ToggleVerticalGuides:
        toggleVerticalReadingGuidesMode();
        return;
    case C::SetLineWidth:
        setLineWidth(item);
        return;
    case C::SetLineDistance:
        setLineDistance(item);
        return;
    case C::ScrollGuidesUpwards:
        scrollUpwards();
        return;
    case C::ScrollGuidesDownwards:
        scrollDownwards();
        return;
    case C::ToggleZoomGuideSpacing:
        toggleZoomGuideSpacingMode();
        return;
    case C::ToggleZoomGuidePosition:
        toggleZoomGuidePositionMode();
        return;
    case C::NextColorMode:
        nextColorMode();
        return;
    case C::SetColorModeFromMenu:
        setColorModeFromMenu(item);
        return;
    case C::ShowColorPreferences:
        showPreferencesWindowForColorSettings();
        return;
    case C::ShowVideoWindow:
        m_application->showVideoWindow();
        return;
    case C::CloseWindow:
        closeActiveWindow();
        return;
    case C::ZoomWindow:
        m_outlets.videoWindow->performZoom();
        return;
    case C::EnterExitFullScreen:
        m_placement->enterExitFullScreen();
        return;
    case C::DockToTop:
        m_placement->moveWindowToTop();
        return;
    case C::DockToBottom:
        m_placement->moveWindowToBottom();
        return;
    case C::DockToLeft:
        m_placement->moveWindowToLeft();
        return;
    case C::DockToRight:
        m_placement->moveWindowToRight();
        return;
    case C::StartStopRecording:
        startStopRecording();
        return;
    case C::SendDeviceCommand:
        sendHidCommand(item);
        return;
    case C::ShowHelp:
        showHelp();
        return;
    }
}

bool MainWindowDelegate::validate(ui::MenuCommand command, const QAction *item) const
{
    Q_UNUSED(item);
    using C = ui::MenuCommand;
    const bool hasVideoDevice =
        m_selectedVideoDevice >= 0 && m_selectedVideoDevice < static_cast<int>(m_videoDevices.size());
    switch (command) {
    case C::ShowAboutWindow:
    case C::FactoryReset:
    case C::Quit:
    case C::ShowVideoWindow:
        return m_application != nullptr;
    case C::ZoomWindow:
        return m_placement && !m_placement->isFullScreen() && !m_placement->transitioningToFullScreen() &&
               !m_placement->transitioningFromFullScreen();
    case C::EnterExitFullScreen:
    case C::DockToTop:
    case C::DockToBottom:
    case C::DockToLeft:
    case C::DockToRight:
        return m_placement != nullptr;
    case C::StartStopRecording:
        return hasVideoDevice;
    case C::ToggleDeinterlacing:
        return m_enableDeinterlaceMenuItem;
    // Without a picture there is nothing to freeze, save or magnify; a
    // frozen picture can still be saved and let go.
    case C::FreezeThaw:
    case C::SaveFreezeFrame:
        return hasVideoDevice || isFrozen();
    case C::ZoomCameraIn:
    case C::ZoomCameraOut:
    case C::FindZoomPosition:
        return hasVideoDevice;
    case C::CheckForUpdates:
        // Offered once there is an update check to run; a menu item that
        // silently does nothing would tell the user their viewer is current.
        return false;
    case C::ShowPreferencesWindow:
    case C::ChooseVideoDevice:
    case C::ToggleLight:
    case C::Rotate:
    case C::Mirror:
    case C::SetColorBalance:
    case C::ShowHideBatteryLevel:
    case C::ShowDiagnosticsWindow:
    case C::ChooseAudioDevice:
    case C::MuteUnmute:
    case C::ShowHideAudioLevel:
    case C::ToggleHorizontalGuides:
    case C::ToggleVerticalGuides:
    case C::SetLineWidth:
    case C::SetLineDistance:
    case C::ScrollGuidesUpwards:
    case C::ScrollGuidesDownwards:
    case C::ToggleZoomGuideSpacing:
    case C::ToggleZoomGuidePosition:
    case C::NextColorMode:
    case C::SetColorModeFromMenu:
    case C::ShowColorPreferences:
    case C::CloseWindow:
    case C::SendDeviceCommand:
    case C::ShowHelp:
        return true;
    }
    return false;
}

void MainWindowDelegate::closeActiveWindow()
{
    QWidget *window = QApplication::activeWindow();
    if (!window && interfaceLoaded())
        window = m_outlets.videoWindow;
    if (window)
        window->close();
}

bool MainWindowDelegate::eventFilter(QObject *watched, QEvent *event)
{
    const QKeyEvent *key = interfaceLoaded() ? ui::keyPressAtFirstReceiver(watched, event) : nullptr;
    if (!key || key->key() != Qt::Key_Escape || key->modifiers() != Qt::NoModifier)
        return QObject::eventFilter(watched, event);
    // Only a key press at a widget gets this far.
    auto *widget = static_cast<QWidget *>(watched);
    if (widget->window() != m_outlets.videoWindow)
        return QObject::eventFilter(watched, event);
    // A menu bar the user is moving through with the keyboard leaves it.
    if (auto *bar = qobject_cast<QMenuBar *>(widget); bar && bar->activeAction())
        return QObject::eventFilter(watched, event);
    return handleEscape();
}

bool MainWindowDelegate::handleEscape()
{
    // The on-screen menu takes its own keys while it is up.
    if (OSDIsVisible())
        return false;
    if (isFrozen())
        unfreezeFrame();
    else if (isFullScreen())
        m_placement->enterExitFullScreen();
    return true;
}

// ---- Menus -----------------------------------------------------------------------------

bool MainWindowDelegate::setCheckMarkForItem(int itemTag, int menuTag, bool value)
{
    QAction *item = menuItem(menuTag, itemTag);
    if (!item)
        return false;
    item->setCheckable(true);
    item->setChecked(value);
    return true;
}

void MainWindowDelegate::setVideoDevices(std::vector<MenuDevice> devices, int selectedIndex)
{
    m_videoDevices = std::move(devices);
    m_selectedVideoDevice = selectedIndex;
    updateCameraMenu();
    if (interfaceLoaded())
        m_outlets.mainMenu->validateAll();
}

void MainWindowDelegate::setAudioDevices(std::vector<MenuDevice> devices, int selectedIndex)
{
    m_audioDevices = std::move(devices);
    m_selectedAudioDevice = selectedIndex;
    updateAudioInputMenu();
}

void MainWindowDelegate::rebuildDeviceMenu(int menuTag, const std::vector<MenuDevice> &devices, int selected,
                                           ui::MenuCommand command)
{
    QAction *submenuItem = menuItem(menuTag, menuTag);
    if (!submenuItem || !submenuItem->menu())
        return;
    QMenu *submenu = submenuItem->menu();
    qDeleteAll(submenu->actions());
    submenu->clear();
    const bool hasSelection = selected >= 0 && selected < static_cast<int>(devices.size());
    if (!hasSelection) {
        QAction *none = m_outlets.mainMenu->addItem(submenu, localized("None"), std::nullopt, -1);
        none->setCheckable(true);
        none->setChecked(true);
    }
    for (size_t i = 0; i < devices.size(); ++i) {
        QAction *item = m_outlets.mainMenu->addItem(submenu, devices[i].localizedName, command, static_cast<int>(i));
        item->setCheckable(true);
        item->setChecked(hasSelection && static_cast<int>(i) == selected);
    }
}

namespace {
std::vector<MenuDevice> menuDevices(const std::vector<video::CaptureDevice> &devices)
{
    std::vector<MenuDevice> out;
    for (const video::CaptureDevice &d : devices)
        out.push_back({d.localizedName, QString::fromStdString(d.uniqueID), QString::fromStdString(d.modelID)});
    return out;
}

int indexOf(const std::vector<video::CaptureDevice> &devices, const std::optional<video::CaptureDevice> &device)
{
    for (size_t i = 0; device && i < devices.size(); ++i) {
        if (devices[i].sameDevice(*device))
            return static_cast<int>(i);
    }
    return -1;
}
} // namespace

void MainWindowDelegate::updateCameraMenu()
{
    if (m_capture) {
        m_videoDevices = menuDevices(m_capture->videoDevices());
        m_selectedVideoDevice = indexOf(m_capture->videoDevices(), m_capture->selectedVideoDevice());
        if (interfaceLoaded())
            m_outlets.mainMenu->validateAll();
    }
    rebuildDeviceMenu(ui::MenuTag::Camera, m_videoDevices, m_selectedVideoDevice, ui::MenuCommand::ChooseVideoDevice);
}

void MainWindowDelegate::updateAudioInputMenu()
{
    if (m_capture) {
        m_audioDevices = menuDevices(m_capture->audioDevices());
        m_selectedAudioDevice = indexOf(m_capture->audioDevices(), m_capture->selectedAudioDevice());
    }
    rebuildDeviceMenu(ui::MenuTag::Audio, m_audioDevices, m_selectedAudioDevice, ui::MenuCommand::ChooseAudioDevice);
}

void MainWindowDelegate::updateColorModeMenus()
{
    QAction *preferredItem = menuItem(ui::MenuTag::Colour, ui::MenuTag::PreferredColourModes);
    QAction *allItem = menuItem(ui::MenuTag::Colour, ui::MenuTag::AllColourModes);
    if (!preferredItem || !allItem)
        return;
    QMenu *preferred = preferredItem->menu();
    QMenu *all = allItem->menu();
    for (QMenu *menu : {preferred, all}) {
        qDeleteAll(menu->actions());
        menu->clear();
    }
    const QStringList names = video::colorModeNames();
    const auto &list = m_model.colourSelection().preferredFilters;
    int position = 0;
    for (int mode = 0; mode < names.size(); ++mode) {
        const ui::MenuCommand action = ui::MenuCommand::SetColorModeFromMenu;
        m_outlets.mainMenu->addItem(all, names[mode], action, mode)->setCheckable(true);
        if (std::find(list.begin(), list.end(), mode) != list.end())
            m_outlets.mainMenu->addItem(preferred, names[mode], action, 1000 + position++)->setCheckable(true);
    }
    if (list.empty()) {
        m_outlets.mainMenu->addItem(preferred, localized("Open &Preferences..."), ui::MenuCommand::ShowColorPreferences,
                                    -1);
    }
    setColorMenuCheckboxes();
}

void MainWindowDelegate::setColorMenuCheckboxes()
{
    QAction *preferredItem = menuItem(ui::MenuTag::Colour, ui::MenuTag::PreferredColourModes);
    QAction *allItem = menuItem(ui::MenuTag::Colour, ui::MenuTag::AllColourModes);
    if (!preferredItem || !allItem)
        return;
    const video::ColourModeSelection &colour = m_model.colourSelection();
    const std::int64_t p = colour.chosenPreferredColorMode;
    const std::int64_t n = colour.chosenNonPreferredColorMode;
    const auto &list = colour.preferredFilters;
    for (QAction *item : preferredItem->menu()->actions()) {
        if (item->isCheckable())
            item->setChecked(p != -1 && ui::tagOf(item) - 1000 == p);
    }
    // With a preferred index the all-modes menu marks the mode it names; an
    // index past the list's end (a shortened list) marks nothing.
    std::optional<std::int64_t> onScreen;
    if (p == -1)
        onScreen = n;
    else if (p >= 0 && p < static_cast<std::int64_t>(list.size()))
        onScreen = list[static_cast<size_t>(p)];
    for (QAction *item : allItem->menu()->actions())
        item->setChecked(onScreen && ui::tagOf(item) == *onScreen);
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

void MainWindowDelegate::setLineMarkerMenuEnabled(bool enabled)
{
    if (!interfaceLoaded())
        return;
    QMenuBar *bar = m_outlets.mainMenu->menuBar();
    for (int tag : {ui::MenuTag::Guides, ui::MenuTag::Audio, ui::MenuTag::Camera, ui::MenuTag::Colour}) {
        if (QAction *menu = ui::findTopLevelItem(bar, tag))
            menu->setEnabled(enabled);
    }
    if (QAction *close = menuItem(ui::MenuTag::Window, ui::MenuTag::CloseWindow))
        close->setEnabled(enabled);
}

void MainWindowDelegate::setDeviceSelectionHandlers(std::function<void(int)> video, std::function<void(int)> audio)
{
    m_chooseVideoDevice = std::move(video);
    m_chooseAudioDevice = std::move(audio);
}

void MainWindowDelegate::chooseVideoDevice(QAction *sender)
{
    const int index = sender ? ui::tagOf(sender) : -1;
    if (index < 0 || index >= static_cast<int>(m_videoDevices.size()))
        return;
    if (m_capture && index < static_cast<int>(m_capture->videoDevices().size()))
        m_capture->setSelectedVideoDevice(m_capture->videoDevices()[static_cast<size_t>(index)]);
    else if (m_chooseVideoDevice)
        m_chooseVideoDevice(index);
}

void MainWindowDelegate::chooseAudioDevice(QAction *sender)
{
    const int index = sender ? ui::tagOf(sender) : -1;
    if (index < 0 || index >= static_cast<int>(m_audioDevices.size()))
        return;
    if (m_capture && index < static_cast<int>(m_capture->audioDevices().size()))
        m_capture->setSelectedAudioDevice(m_capture->audioDevices()[static_cast<size_t>(index)]);
    else if (m_chooseAudioDevice)
        m_chooseAudioDevice(index);
}

void MainWindowDelegate::showPreferencesWindow()
{
    if (!interfaceLoaded())
        return;
    ui::PreferencesWindow *window = m_outlets.preferencesWindow;
    window->reloadData();
    window->updateWarningTextField();
    window->show();
    window->raise();
    window->activateWindow();
}

void MainWindowDelegate::showPreferencesWindowForColorSettings()
{
    if (!interfaceLoaded())
        return;
    m_outlets.preferencesWindow->selectTabWithIdentifier(QStringLiteral("colors_tab"));
    showPreferencesWindow();
}

void MainWindowDelegate::closePreferencesWindow()
{
    if (interfaceLoaded())
        m_outlets.preferencesWindow->close();
}

namespace {
// The decoder's view of the button-test window.
class DiagnosticWindowSink final : public device::DiagnosticSink {
public:
    explicit DiagnosticWindowSink(ui::DiagnosticWindow *window) : m_window(window) {}
    void handleButton(long code) override { m_window->handleButton(code); }

private:
    ui::DiagnosticWindow *m_window;
};
} // namespace

device::DiagnosticSink *MainWindowDelegate::diagnosticWindow()
{
    if (!interfaceLoaded())
        return nullptr;
    if (!m_diagnosticSink)
        m_diagnosticSink = std::make_unique<DiagnosticWindowSink>(m_outlets.diagnosticWindow);
    return m_diagnosticSink.get();
}

void MainWindowDelegate::diagnosticsWindowDidClose()
{
    if (m_diagnosticModeHandler)
        m_diagnosticModeHandler(false);
    sendHIDCommand(device::HIDCommandZoom8);
    QTimer::singleShot(1000, this, [this] {
        sendHIDCommand(device::HIDCommandZoom1);
        setZoomLevel(1);
    });
}

void MainWindowDelegate::showDiagnosticsWindow()
{
    if (!interfaceLoaded())
        return;
    if (m_diagnosticModeHandler)
        m_diagnosticModeHandler(true);
    m_outlets.diagnosticWindow->resetValues();
    m_outlets.diagnosticWindow->show();
    m_outlets.diagnosticWindow->raise();
    m_outlets.diagnosticWindow->activateWindow();
}

void MainWindowDelegate::closeDiagnosticsWindow()
{
    if (interfaceLoaded())
        m_outlets.diagnosticWindow->close();
}

void MainWindowDelegate::setEnableDeinterlaceMenuItem(bool enabled)
{
    if (m_capture) {
        m_capture->setDeinterlaceMenuItemEnabled(enabled);
        return;
    }
    m_enableDeinterlaceMenuItem = enabled;
    if (!enabled)
        setEnableDeinterlacing(false);
    if (interfaceLoaded())
        m_outlets.mainMenu->validateAll();
}

void MainWindowDelegate::setEnableDeinterlacing(bool enabled)
{
    if (m_capture && m_capture->enableDeinterlacing() != enabled) {
        // The capture session moves the live picture and reports back
        // through updateDeinterlaceMenuItem.
        m_capture->setEnableDeinterlacing(enabled);
        return;
    }
    m_enableDeinterlacing = enabled;
    setCheckMarkForItem(ui::MenuTag::Deinterlacing, ui::MenuTag::Camera, enabled);
}

void MainWindowDelegate::toggleEnableDeinterlacing()
{
    setEnableDeinterlacing(!m_enableDeinterlacing);
    if (!m_capture)
        savePreferences();
}

// ---- Other subsystems ------------------------------------------------------------------------

void MainWindowDelegate::pauseDownloadsOnQuit() {}

void MainWindowDelegate::checkForUpdates() {}

void MainWindowDelegate::showHelp()
{
    // The help window belongs to the video window, which lives as long as
    // the viewer; a dialog it was asked from may close first.
    m_helpManual.open(interfaceLoaded() ? m_outlets.videoWindow : nullptr);
}

// ---- On-screen display and windows -----------------------------------------------------------

void MainWindowDelegate::showHideOnScreenDisplay()
{
    if (!interfaceLoaded())
        return;
    m_outlets.OSDScrollView->setVisible(m_outlets.OSDScrollView->isHidden());
}

void MainWindowDelegate::hideOnScreenDisplay()
{
    if (interfaceLoaded())
        m_outlets.OSDScrollView->hide();
}

bool MainWindowDelegate::OSDIsVisible() const
{
    return interfaceLoaded() && !m_outlets.OSDScrollView->isHidden();
}

long MainWindowDelegate::videoWindowNumber() const
{
    return interfaceLoaded() ? static_cast<long>(m_outlets.videoWindow->winId()) : 0;
}

guides::GuideRect MainWindowDelegate::fullScreenScreenFrame() const
{
    const QScreen *screen = interfaceLoaded() && m_outlets.videoWindow->screen() ? m_outlets.videoWindow->screen()
                                                                                 : QGuiApplication::primaryScreen();
    if (!screen)
        return {};
    return VideoWindowPlacement::fromQtScreen(screen->geometry());
}

guides::GuideRect MainWindowDelegate::fullScreenRectForScreenFrame(const guides::GuideRect &screenFrame) const
{
    if (!m_placement)
        return screenFrame;
    return m_placement->getFullScreenRectForScreenFrame(screenFrame);
}

// ---- Video window ------------------------------------------------------------------------------

bool MainWindowDelegate::isFullScreen() const
{
    return m_placement ? m_placement->isFullScreen() : m_isFullScreen;
}

void MainWindowDelegate::windowWillMove()
{
    if (m_placement)
        m_placement->windowWillMove();
}

void MainWindowDelegate::setWindowAspectRatio()
{
    if (m_placement)
        m_placement->setWindowAspectRatio();
}

void MainWindowDelegate::reDockWithDockInfo(std::uint8_t dockInfo)
{
    if (m_placement)
        m_placement->reDockWithDockInfo(dockInfo);
    else
        m_dockingInfo = dockInfo;
}

std::uint8_t MainWindowDelegate::dockingInfo() const
{
    return m_placement ? m_placement->isDocked() : m_dockingInfo;
}

void MainWindowDelegate::clearDockedFlags()
{
    m_dockingInfo = 0;
    if (m_placement)
        m_placement->clearDockedFlags();
}

QSizeF MainWindowDelegate::videoDimensionsWithRotation() const
{
    if (m_capture && m_capture->selectedVideoDevice()) {
        const QRect dimensions = m_capture->getVideoDimensionsWithRotation(true);
        if (!dimensions.isEmpty())
            return dimensions.size();
    }
    if (!interfaceLoaded())
        return {};
    QSizeF size = m_outlets.previewView->frameSize();
    if (m_model.videoOrientation() == 3 || m_model.videoOrientation() == 4)
        size.transpose();
    return size;
}

bool MainWindowDelegate::hasSelectedCamera() const
{
    return m_capture && m_capture->selectedVideoDevice().has_value();
}

void MainWindowDelegate::refreshDevices()
{
    if (m_capture)
        m_capture->refreshDevices();
}

void MainWindowDelegate::beep()
{
    QApplication::beep();
}

void MainWindowDelegate::stopCaptureSession()
{
    // The capture session's own closing stops its meter timer, the session
    // and its observers in that order.
    if (m_capture)
        m_capture->windowWillClose();
}

// ---- Filter chain -----------------------------------------------------------------------------

video::ImageFilterInputs MainWindowDelegate::imageFilterInputs() const
{
    video::ImageFilterInputs inputs;
    inputs.colour = m_model.colourSelection();
    inputs.isMirrored = m_model.isMirrored();
    inputs.videoOrientation = m_model.videoOrientation();
    inputs.videoOrientationWhenFrozen = m_model.videoOrientationWhenFrozen();
    if (interfaceLoaded()) {
        const QSize preview = m_outlets.previewView->size();
        inputs.previewViewSize = video::SizeD{double(preview.width()), double(preview.height())};
        inputs.freezeFrameLayerWidth = m_outlets.freezeFrameView->width();
        const QSize window = m_outlets.videoWindow->size();
        inputs.videoWindowSize = {double(window.width()), double(window.height())};
    }
    return inputs;
}

void MainWindowDelegate::installImageFilters(const video::ImageFilterState &state)
{
    if (interfaceLoaded()) {
        m_outlets.previewView->setPreviewFilters(state.previewFilters);
        m_outlets.previewView->setFreezeFrameFilters(state.freezeFrameFilters);
    }
    if (m_lineOverlayView)
        m_lineOverlayView->update();
}

void MainWindowDelegate::rotateWindow()
{
    if (m_placement)
        m_placement->rotateWindow();
}

void MainWindowDelegate::rotateFrozenPicture(std::int64_t fromOrientation)
{
    m_freezeFrames.rotateFrozenPicture(fromOrientation);
}

} // namespace kelvo::viewer
