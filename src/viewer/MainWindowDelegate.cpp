#include "viewer/MainWindowDelegate.h"

#include "common/SystemLog.h"
#include "device/ReportProtocol.h"
#include "ui/DraggableWindow.h"
#include "ui/MainMenu.h"
#include "ui/MenuTags.h"
#include "ui/TableViewMenu.h"
#include "ui/VideoView.h"
#include "viewer/FirmwareUpdateFlow.h"
#include "viewer/OnScreenDisplay.h"
#include "viewer/VideoWindowPlacement.h"
#include "viewer/ViewerEventRouting.h"
#include "viewer/ViewerUpdater.h"
#include "viewer/ViewerWindows.h"

#include <QAction>
#include <QApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QTimer>

namespace kelvo::viewer {

MainWindowDelegate::MainWindowDelegate(const QString &settingsFilePath)
    : m_settingsStore(settingsFilePath.isEmpty() ? settings::SettingsStore::defaultFilePath() : settingsFilePath)
{
    m_model.setCameraCommandSender(this);
    // A movie can end without being asked (its input went away): the menu
    // and the overlay must stop saying it runs.
    m_movieRecorder.setEndedHandler([this] { stopRecordingIfRecording(); });
    // No camera is selected yet: this reads the global settings only.
    loadPreferences();
    m_firmwareUpdateFlow = std::make_unique<FirmwareUpdateFlow>(*this);
    m_updater = std::make_unique<ViewerUpdater>(*this);
}

MainWindowDelegate::~MainWindowDelegate()
{
    // The windows call back into the controller's state; they go first.
    m_eventRouting.reset();
    m_view = &m_noWindows;
    m_lineOverlayView = nullptr;
    m_placement = nullptr;
    m_windows.reset();
}

const ui::MainWindowOutlets &MainWindowDelegate::outlets() const
{
    static const ui::MainWindowOutlets none;
    return m_windows ? m_windows->outlets() : none;
}

std::vector<QWidget *> MainWindowDelegate::loadInterface(ApplicationCommands *application)
{
    if (m_windows)
        return {};
    m_application = application;
    m_windows = std::make_unique<ViewerWindows>(ViewerWindows::Parts{m_model, *this, *this, *this});
    m_view = m_windows.get();
    m_lineOverlayView = m_windows->lineOverlayView();
    m_placement = m_windows->placement();
    m_stillSavePanel.setVideoWindow(m_windows->outlets().videoWindow);
    m_movieSavePanel.setVideoWindow(m_windows->outlets().videoWindow);
    connect(m_windows.get(), &ViewerWindows::diagnosticsWindowClosed, this,
            &MainWindowDelegate::diagnosticsWindowDidClose);
    connect(this, &MainWindowDelegate::preferencesSaved, m_windows.get(), &ViewerWindows::stateSaved);
    m_windows->onScreenDisplay()->setBeep([this] { beep(); });
    m_windows->onScreenDisplay()->setCameraQuery([this] { return validate(ui::MenuCommand::ZoomCameraIn, nullptr); });
    m_eventRouting = std::make_unique<ViewerEventRouting>(*this);
    connect(m_windows->outlets().previewView, &ui::VideoView::visibilityChanged, this,
            &MainWindowDelegate::updateVideoFrameDelivery);
    setUpSpeech();
    return m_windows->topLevelWindows();
}

void MainWindowDelegate::interfaceDidLoad()
{
    updateCameraMenu();
    updateAudioInputMenu();
    updateColorModeMenus();
    m_view->updateReadingGuideMenus();
}

void MainWindowDelegate::prepareVideoWindow()
{
    if (m_placement)
        m_placement->prepareWindow();
}

void MainWindowDelegate::bringVideoWindowForward()
{
    m_view->bringVideoWindowForward();
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
        m_view->closeActiveWindow();
        return;
    case C::ZoomWindow:
        videoWindow()->performZoom();
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
    case C::ShowOnScreenDisplay:
        // What the camera's display button does.
        showHideOnScreenDisplay();
        return;
    case C::MiniaturizeWindow:
        videoWindow()->performMiniaturizeAnyway();
        return;
    case C::ReadPageAloud:
    case C::CopyRecognisedText:
    case C::SaveRecognisedText:
        performReadingCommand(command);
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
    case C::ShowOnScreenDisplay:
    case C::MiniaturizeWindow:
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
    case C::ReadPageAloud:
        return hasVideoDevice || isFrozen();
    case C::CopyRecognisedText:
    case C::SaveRecognisedText:
        return recognisedTextAvailable();
    case C::ZoomCameraIn:
    case C::ZoomCameraOut:
    case C::FindZoomPosition:
        return hasVideoDevice;
    case C::CheckForUpdates:
        return m_updater != nullptr;
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

// ---- Menus -----------------------------------------------------------------------------

void MainWindowDelegate::setVideoDevices(std::vector<MenuDevice> devices, int selectedIndex)
{
    m_videoDevices = std::move(devices);
    m_selectedVideoDevice = selectedIndex;
    updateCameraMenu();
}

void MainWindowDelegate::setAudioDevices(std::vector<MenuDevice> devices, int selectedIndex)
{
    m_audioDevices = std::move(devices);
    m_selectedAudioDevice = selectedIndex;
    updateAudioInputMenu();
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
    }
    m_view->showDevices(ui::MenuTag::Camera, m_videoDevices, m_selectedVideoDevice, ui::MenuCommand::ChooseVideoDevice);
    emit camerasChanged();
}

void MainWindowDelegate::updateAudioInputMenu()
{
    if (m_capture) {
        m_audioDevices = menuDevices(m_capture->audioDevices());
        m_selectedAudioDevice = indexOf(m_capture->audioDevices(), m_capture->selectedAudioDevice());
    }
    m_view->showDevices(ui::MenuTag::Audio, m_audioDevices, m_selectedAudioDevice, ui::MenuCommand::ChooseAudioDevice);
}

void MainWindowDelegate::updateColorModeMenus()
{
    m_view->showColourModes(m_model.colourSelection());
}

void MainWindowDelegate::startPseudoModal()
{
    m_view->setMenuBarEnabled(false);
}

void MainWindowDelegate::endPseudoModal()
{
    m_view->setMenuBarEnabled(true);
}

void MainWindowDelegate::setLineMarkerMenuEnabled(bool enabled)
{
    m_view->setLineMarkerMenuEnabled(enabled);
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
    m_view->showPreferencesWindow(false);
}

void MainWindowDelegate::showPreferencesWindowForColorSettings()
{
    m_view->showPreferencesWindow(true);
}

device::DiagnosticSink *MainWindowDelegate::diagnosticWindow()
{
    return m_view->diagnosticSink();
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
    // Buttons count in the window instead of acting, while there is one.
    if (m_view->showDiagnosticsWindow() && m_diagnosticModeHandler)
        m_diagnosticModeHandler(true);
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
    revalidateMenus();
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

void MainWindowDelegate::pauseDownloadsOnQuit()
{
    m_updater->updater().pauseDownloadsOnQuit();
}

void MainWindowDelegate::checkForUpdates()
{
    m_updater->updater().checkForUpdates();
}

void MainWindowDelegate::showHelp()
{
    // The help window belongs to the video window, which lives as long as
    // the viewer; a dialog it was asked from may close first.
    m_helpManual.open(m_view->dialogParent());
}

// ---- On-screen display and windows -----------------------------------------------------------

void MainWindowDelegate::showHideOnScreenDisplay()
{
    m_view->showHideOnScreenDisplay();
}

void MainWindowDelegate::hideOnScreenDisplay()
{
    m_view->hideOnScreenDisplay();
}

OnScreenDisplay *MainWindowDelegate::onScreenDisplay() const
{
    return m_windows ? m_windows->onScreenDisplay() : nullptr;
}

device::OSDKeyReceiver *MainWindowDelegate::OSDTableView()
{
    return outlets().OSDTableView;
}

bool MainWindowDelegate::OSDIsVisible() const
{
    return m_view->OSDIsVisible();
}

long MainWindowDelegate::videoWindowNumber() const
{
    return m_view->videoWindowNumber();
}

guides::GuideRect MainWindowDelegate::fullScreenScreenFrame() const
{
    const QWidget *window = m_view->dialogParent();
    const QScreen *screen = window && window->screen() ? window->screen() : QGuiApplication::primaryScreen();
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
    QSizeF size = m_view->previewFrameSize();
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
    if (m_windows) {
        const QSizeF preview = m_view->previewViewBounds().size();
        inputs.previewViewSize = video::SizeD{preview.width(), preview.height()};
    }
    inputs.freezeFrameLayerWidth = m_view->freezeFrameLayerWidth();
    const QSize window = m_view->videoWindowGeometry().size();
    inputs.videoWindowSize = {double(window.width()), double(window.height())};
    return inputs;
}

void MainWindowDelegate::installImageFilters(const video::ImageFilterState &state)
{
    m_view->installImageFilters(state);
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
