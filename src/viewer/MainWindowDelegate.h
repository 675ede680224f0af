#pragma once

#include "device/ViewerActions.h"
#include "guides/LineOverlayDelegate.h"
#include "settings/PreferencesKeeper.h"
#include "settings/PreferencesTarget.h"
#include "settings/SettingsStore.h"
#include "ui/HelpManual.h"
#include "ui/MainWindowInterface.h"
#include "ui/MenuCommand.h"
#include "ui/MovieSavePanel.h"
#include "ui/StillSavePanel.h"
#include "video/CaptureController.h"
#include "video/CaptureHost.h"
#include "video/ColourMode.h"
#include "video/FreezeFrameHost.h"
#include "video/FreezeFrameProcessor.h"
#include "video/ImageFilterChain.h"
#include "video/MovieRecorder.h"
#include "video/still/StillSaver.h"
#include "viewer/ApplicationCommands.h"
#include "viewer/VideoWindowHost.h"
#include "viewer/ViewerLifecycleSteps.h"
#include "viewer/ViewerView.h"
#include "viewer/model/ViewerModel.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

class QAction;

namespace kelvo::device {
class DeviceLink;
}
namespace kelvo::ui {
class LineOverlayView;
class MainMenu;
class PreferencesWindow;
} // namespace kelvo::ui

namespace kelvo::viewer {

class OnScreenDisplay;
class VideoWindowPlacement;
class ViewerEventRouting;
class ViewerUpdater;
class FirmwareUpdateFlow;
class ViewerWindows;

// The viewer controller: runs every action on what the user sees, whichever
// way it was asked for (camera buttons, menus, keys, gestures). The rules and
// the state live in the viewer model; the controller joins it to the camera,
// the capture session, the settings and the guides, and shows the rest
// through its windows (ViewerWindows), which observe the model for
// themselves.
// Thread: main thread; only the model's freeze flags are shared with the
// capture callback.
class MainWindowDelegate : public QObject,
                           public device::ViewerActions,
                           public guides::LineOverlayDelegate,
                           public video::ImageFilterHost,
                           public settings::PreferencesTarget,
                           public video::CaptureHost,
                           public video::FreezeFrameHost,
                           public VideoWindowHost,
                           public ui::MenuCommandTarget,
                           public ViewerModelHost,
                           public CameraCommandSender,
                           public ViewerLifecycleSteps {
    Q_OBJECT
public:
    // Settings live in settingsFilePath (the user's configuration folder when
    // empty); they are loaded here, before any camera is known.
    explicit MainWindowDelegate(const QString &settingsFilePath = QString());
    ~MainWindowDelegate() override;

    // ---- Interface ---------------------------------------------------------

    // Builds the "MainWindow" interface with this controller as its owner and
    // connects the outlets. Answers the top-level objects. The menus' commands
    // for the application as a whole go to `application`; without one
    // (a controller tested on its own) those items stay disabled.
    std::vector<QWidget *> loadInterface(ApplicationCommands *application = nullptr);
    bool interfaceLoaded() const { return m_windows != nullptr; }
    ViewerWindows *windows() const { return m_windows.get(); }
    // The built interface's objects; all null before it is built.
    const ui::MainWindowOutlets &outlets() const;
    ui::DraggableWindow *videoWindow() const { return outlets().videoWindow; }
    ui::PreferencesWindow *preferencesWindow() const { return outlets().preferencesWindow; }
    ui::MainMenu *mainMenu() const { return outlets().mainMenu; }
    ui::LineOverlayView *lineOverlayView() const { return m_lineOverlayView; }

    // The interface is built: fills the menus that are rebuilt at run time.
    void interfaceDidLoad();
    // Stacks the video window's overlays and shapes its on-screen panels.
    void prepareVideoWindow() override;
    // Shows the video window, in front while the viewer is the active
    // application.
    void bringVideoWindowForward() override;

    // The device link whose send queue carries the camera commands. Not
    // owned; null means every command is refused.
    void setDeviceLink(device::DeviceLink *link) { m_deviceLink = link; }
    device::DeviceLink *deviceLink() const { return m_deviceLink; }
    // Shows the button-test window's counters instead of acting on buttons.
    void setDiagnosticModeHandler(std::function<void(bool)> handler) { m_diagnosticModeHandler = std::move(handler); }

    // ---- State ---------------------------------------------------------------

    int zoomLevel() const { return m_model.zoomLevel(); }
    std::int32_t savedZoomLevel() const override { return m_model.savedZoomLevel(); }
    double digitalZoomLevel() const { return m_filterChain.digitalZoomLevel(); }
    double zoomAccum() const { return m_model.zoomAccum(); }
    bool isFrozen() const override;
    bool waitingToFreeze() const override;
    bool waitingToSave() const override { return m_model.waitingToSave(); }
    bool unfreezeWhenSaved() const override { return m_model.unfreezeWhenSaved(); }
    bool lightIsOn() const { return m_model.lightIsOn(); }
    std::int64_t colorBalanceMode() const { return m_model.colorBalanceMode(); }
    std::int64_t chosenPreferredColorMode() const { return m_model.colourSelection().chosenPreferredColorMode; }
    std::int64_t chosenNonPreferredColorMode() const { return m_model.colourSelection().chosenNonPreferredColorMode; }
    const std::vector<std::int64_t> &preferredFilters() const { return m_model.colourSelection().preferredFilters; }
    void setPreferredFilters(const std::vector<std::int64_t> &modes);
    int videoOrientation() const override { return m_model.videoOrientation(); }
    bool isMirrored() const { return m_model.isMirrored(); }
    std::int64_t quadrelPhysicalOrientation() const { return m_model.quadrelPhysicalOrientation(); }
    bool zoomScrollsGuides() const override { return m_model.zoomScrollsGuides(); }
    void setZoomScrollsGuides(bool value) override { m_model.setZoomScrollsGuides(value); }
    bool zoomChangesGuideSpacing() const override { return m_model.zoomChangesGuideSpacing(); }
    void setZoomChangesGuideSpacing(bool value) override { m_model.setZoomChangesGuideSpacing(value); }
    bool isRecording() const { return m_model.isRecording(); }
    bool showingAudioLevelIndicator() const { return m_model.showingAudioLevelIndicator(); }
    bool enableDeinterlacing() const override { return m_enableDeinterlacing; }
    bool enableDeinterlaceMenuItem() const { return m_enableDeinterlaceMenuItem; }
    void setEnableDeinterlaceMenuItem(bool enabled);
    void setEnableDeinterlacing(bool enabled);
    // The current colour mode number (repairing an index past the list's end).
    std::int64_t currentColorMode();
    bool isInInverseColorMode() const override;
    bool isFullScreen() const override;
    // Fitting, docking, turning and full screen of the video window.
    VideoWindowPlacement *placement() const { return m_placement; }
    // The on-screen menu; null without windows.
    OnScreenDisplay *onScreenDisplay() const;

    // Whether the preview's connection exists and what it can do; the capture
    // session sets these as it builds the preview.
    void setPreviewConnection(bool exists, bool supportsOrientation, bool supportsMirroring);

    // ---- Device commands and light -----------------------------------------

    // Sends the command whose number is the sender's tag.
    void sendHidCommand(QAction *sender);
    void toggleLight();
    void setLightIsOn(bool on) override;
    void setColorBalance(QAction *sender);

    // ---- Freeze ----------------------------------------------------------------

    void freezeFrame() override;
    void unfreezeFrame() override;
    void freezeThaw() override;
    void saveFreezeFrame();
    void startStopRecording();

    // ---- Zoom and locating -----------------------------------------------------

    void zoomCameraIn() override;
    void zoomCameraOut() override;
    void setDigitalZoomLevel(double level) override { m_filterChain.setDigitalZoomLevel(level); }
    void findZoomPositionEnter() override;
    void findZoomPositionExit() override;
    void findZoomPosition();
    void smartMagnify() { findZoomPosition(); }
    void beginGesture();
    // A pinch step; magnification is the event's relative change.
    void magnify(double magnification);
    void rotateGesture(float rotation);
    void endGesture();

    // ---- Colour ------------------------------------------------------------------

    void nextColorMode() override;
    void setColorModeFromMenu(QAction *sender);
    void setColorModeFromTag(int tag);
    void setChosenPreferredColorMode(std::int64_t index) override;
    void setChosenNonPreferredColorMode(std::uint64_t mode);
    void setChosenPreferredColorModeAndNonPreferredMode(std::int64_t index, std::int64_t nonPreferredMode);
    void setPreferredColorModeIfApplicable();

    // ---- Orientation and mirroring -----------------------------------------------

    void rotateWindowUIAction() override;
    void mirrorScreenUIAction();
    void setQuadrelPhysicalOrientation(long position) override;

    // ---- Reading guides ------------------------------------------------------------

    void scrollUpwards() override;
    void scrollDownwards() override;
    void increaseLineSeparation() override;
    void decreaseLineSeparation() override;
    void setLineDistance(QAction *sender);
    void setLineWidth(QAction *sender);
    void toggleHorizontalReadingGuidesMode();
    void toggleVerticalReadingGuidesMode();
    void toggleZoomGuideSpacingMode();
    void toggleZoomGuidePositionMode();

    // ---- Indicators ------------------------------------------------------------------

    void showBatteryLevelIndicator() override;
    void hideBatteryLevelIndicator() override;
    void setBatteryLevel(long level) override;
    void showHideBatteryLevel();
    void showHideAudioLevel();
    bool batteryLevelIndicatorShown() const;
    int batteryLevel() const;

    // ---- Menus -------------------------------------------------------------------------

    // The menu bar's commands, and whether each can act now.
    void perform(ui::MenuCommand command, QAction *item) override;
    bool validate(ui::MenuCommand command, const QAction *item) const override;
    void muteUnmute();
    bool isMuted() const { return m_model.isMuted(); }
    // Starts (YES) or stops the movie; the menu item and the overlay follow.
    void setRecording(bool recording);
    double recordingGain() const { return m_model.recordingGain(); }
    void setRecordingGain(double gain) { m_model.setRecordingGain(gain); }
    double previewVolume() const;
    void setPreviewVolume(double volume);
    // ---- Speech and reading the page aloud (MainWindowDelegate_Speech.cpp) ------------------
    // "Speak changes": 0 automatic (not while a screen reader runs), 1 on,
    // 2 off; the voice's rate -10..10. Saved at once.
    std::int64_t speakChangesMode() const;
    std::int64_t speechRate() const;
    void setSpeechPreferences(std::int64_t mode, std::int64_t rate);
    bool recognisedTextAvailable() const;

    // The user manual, in the desktop's browser or the viewer's help window.
    void showHelp();
    const ui::HelpManual &helpManual() const { return m_helpManual; }

    // Finds the item along menuTag -> itemTag and sets its check mark; answers
    // whether the item exists.
    bool setCheckMarkForItem(int itemTag, int menuTag, bool value)
    {
        return m_view->setCheckMark(menuTag, itemTag, value);
    }
    void setVideoDevices(std::vector<MenuDevice> devices, int selectedIndex);
    void setAudioDevices(std::vector<MenuDevice> devices, int selectedIndex);
    const std::vector<MenuDevice> &videoDevices() const { return m_videoDevices; }
    int selectedVideoDeviceIndex() const { return m_selectedVideoDevice; }
    void updateCameraMenu();
    void updateAudioInputMenu();
    void startPseudoModal();
    void endPseudoModal();
    void setLineMarkerMenuEnabled(bool enabled) override;
    void chooseVideoDevice(QAction *sender);
    void chooseAudioDevice(QAction *sender);
    void showPreferencesWindow() override;
    void showPreferencesWindowForColorSettings();
    void closePreferencesWindow() { m_view->closePreferencesWindow(); }
    void showDiagnosticsWindow();
    void closeDiagnosticsWindow() { m_view->closeDiagnosticsWindow(); }
    // The button test ended: buttons act again, and the camera's lens is run
    // to its longest step and, a second later, back to its widest.
    void diagnosticsWindowDidClose();
    void toggleEnableDeinterlacing();
    // Called when the user picks a device from a menu.
    void setDeviceSelectionHandlers(std::function<void(int)> video, std::function<void(int)> audio);

    // ---- Other subsystems --------------------------------------------------------------

    // Gives the controller its capture session (the GStreamer backend or a
    // scripted one in tests). Without one the window shows no picture.
    void attachCapture(video::CaptureBackend &backend, video::CaptureScheduler &scheduler);
    // Stops and drops the capture session; its backend may go after this.
    void detachCapture();
    // Tells the capture whether the picture is needed now: live and on
    // screen, or a freeze waiting for its frame.
    void updateVideoFrameDelivery();
    video::CaptureController *capture() const { return m_capture.get(); }
    // Opens the camera's report channel once it is the video source; the
    // application decides between the real scan and the simulated camera.
    void setHIDRescanHandler(std::function<void(const std::optional<video::CaptureDevice> &)> handler)
    {
        m_hidRescan = std::move(handler);
    }
    // Resets a camera whose stream got stuck (the discovery's reset).
    void setResetStuckVideoHandler(std::function<void()> handler) { m_resetStuckVideo = std::move(handler); }
    // Builds and starts the capture graph.
    void initializeVideoCapture() override;
    void cleanupVideoCapture() override;
    // Writes the viewer's whole state to the settings store.
    void savePreferences() override;
    // Reads the settings of the selected camera and head position and applies
    // them through the setters.
    void loadPreferences() override;
    // Restores every setting to its default.
    void factoryReset() override;
    // Pauses running downloads so they can resume at the next launch.
    void pauseDownloadsOnQuit();
    void checkForUpdates() override;
    ViewerUpdater &viewerUpdater() { return *m_updater; }
    // The guided camera firmware update; the ready-to-update alert starts it.
    FirmwareUpdateFlow &firmwareUpdateFlow() { return *m_firmwareUpdateFlow; }
    // Where the whole-application commands go; null for a controller tested alone.
    ApplicationCommands *applicationCommands() const { return m_application; }
    const std::optional<QString> &appVersionReadyToInstall() const { return m_appVersionReadyToInstall; }

    // The picture: rebuilds the colour, zoom and mirror filters.
    void setImageFilters() override { m_filterChain.setImageFilters(); }

    // ---- Settings' view of the controller ------------------------------------------------

    settings::SettingsStore &settingsStore() { return m_settingsStore; }
    bool loadingPreferences() const { return m_preferencesKeeper.loadingPreferences(); }
    settings::ViewerPreferences currentPreferences() const;
    settings::PreferencesContext preferencesContext() const;
    void unhideInternalFeaturesMenu() override;
    void setUserHasSetPreferences(bool value) override { m_userHasSetPreferences = value; }
    bool userHasSetPreferences() const override { return m_userHasSetPreferences; }
    void setFirstLaunch(bool value) override { m_firstLaunch = value; }
    bool firstLaunch() const { return m_firstLaunch; }
    void setUpdateBookkeeping(const settings::UpdateBookkeeping &bookkeeping) override;
    const settings::UpdateBookkeeping &updateBookkeeping() const { return m_update; }
    void setAutomaticallyLaunchesOnDeviceAttach(const settings::PlistValue &number) override;
    bool automaticallyLaunchesOnDeviceAttach() const { return m_automaticallyLaunchesOnDeviceAttach; }
    void setShowingAudioLevelIndicator(bool value) override;
    void setChosenPreferredColorMode(std::int64_t index, std::int64_t nonPreferredMode) override
    {
        setChosenPreferredColorModeAndNonPreferredMode(index, nonPreferredMode);
    }
    void setVideoOrientation(std::int32_t orientation) override;
    void setIsMirrored(bool mirrored) override;
    void setLineWidth(std::uint64_t width) override;
    void setGuideSeparation(std::int32_t separation) override;
    void setScrollPosition(std::int32_t position) override;
    void setHorizontalReadingGuideMode(std::int32_t mode) override;
    void setVerticalReadingGuideMode(std::int32_t mode) override;
    void setColorBalanceMode(std::int64_t mode) override;
    void setZoomLevel(std::int32_t level) override;
    void reDockWithDockInfo(std::uint8_t dockInfo) override;
    std::uint8_t dockingInfo() const;
    void setVideoWindowFrame(const settings::Rect &frame) override;
    void updateColorModeMenus() override;
    void clearDockedFlags() override;
    const video::ImageFilterChain &filterChain() const { return m_filterChain; }

    // ---- On-screen display and windows (device link's view) ----------------------------

    void showHideOnScreenDisplay() override;
    void hideOnScreenDisplay() override;

    // ---- Video window's view of the controller ---------------------------------------------

    QSizeF videoDimensionsWithRotation() const override;
    bool hasSelectedCamera() const override;
    void refreshDevices() override;
    void beep() override;
    void fullScreenDidChange(bool isFullScreen) override
    {
        m_isFullScreen = isFullScreen;
        revalidateMenus();
    }
    void stopAudioLevelTimer() override {}
    void stopCaptureSession() override;
    void detachMovieOutputDelegate() override {}
    void removeNotificationObservers() override {}
    bool OSDIsVisible() const override;
    device::DiagnosticSink *diagnosticWindow() override;
    device::OSDKeyReceiver *OSDTableView() override;
    long videoWindowNumber() const override;

    // ---- Overlay's view of the controller ------------------------------------------------

    guides::GuideRect fullScreenScreenFrame() const override;
    guides::GuideRect fullScreenRectForScreenFrame(const guides::GuideRect &screenFrame) const override;
    void windowWillMove() override;

    // ---- Filter chain's view of the controller ----------------------------------------------

    video::ImageFilterInputs imageFilterInputs() const override;
    void installImageFilters(const video::ImageFilterState &state) override;
    void rotateWindow() override;
    void rotateFrozenPicture(std::int64_t fromOrientation) override;
    void setVideoOrientationWhenFrozen(std::int64_t orientation) override
    {
        m_model.setVideoOrientationWhenFrozen(static_cast<int>(orientation));
    }
    void setWindowAspectRatio() override;

    // ---- Capture's view of the controller ----------------------------------------------------

    void resetDeviceInfo() override;
    void doHIDRescan() override;
    void terminateAllUSBThreads() override;
    void resetStuckVideoDevice() override;
    void setQuadrelPhysicalOrientation(int position) override { setQuadrelPhysicalOrientation(long(position)); }
    void updateDeinterlaceMenuItem(bool enabled, bool checked) override;
    QRectF previewViewBounds() const override;
    void showReadingGuideOverlay() override;
    void clearFreezeFrameView() override;
    void presentError(const QString &message) override;
    void updateAudioLevels() override;
    void stopRecordingIfRecording() override;
    void processCapturedFrame(const video::VideoFrame &frame) override;

    // ---- Still pictures ------------------------------------------------------------------------

    bool takeWaitingToFreeze() override;
    void showFreezeFramePicture(const video::FreezeFrameImage &picture) override;
    void setWaitingToSave(bool waiting) override { m_model.setWaitingToSave(waiting); }
    void setUnfreezeWhenSaved(bool unfreeze) override { m_model.setUnfreezeWhenSaved(unfreeze); }
    void finishSavingFreezeFrame() override { m_stillSaver.finishSavingFreezeFrame(); }

    // ---- The model's view of the widgets and the camera -----------------------------------

    // The rules of the viewer's state live in the model; the controller
    // shows what it decides.
    ViewerModel &model() { return m_model; }
    const ViewerModel &model() const { return m_model; }
    void redrawGuides() override;
    void showLivePicture() override;
    void setPreviewOrientation(int orientation, bool mirrored) override;
    bool sendHIDCommand(long command) override;
    const video::FreezeFrameProcessor &freezeFrames() const { return m_freezeFrames; }
    ui::StillSavePanel &stillSavePanel() { return m_stillSavePanel; }
    ui::MovieSavePanel &movieSavePanel() { return m_movieSavePanel; }
    video::MovieRecorder &movieRecorder() { return m_movieRecorder; }

signals:
    // The whole state was handed to the settings store (a save asked for
    // while the settings load is not one).
    void preferencesSaved();
    // The capture graph was asked to start.
    void videoCaptureStarting();
    // The cameras on the bus, or the one chosen, changed.
    void camerasChanged();

private:
    void setUpSpeech();
    void performReadingCommand(ui::MenuCommand command);
    void stillPictureShownForReading();
    void changeLineSeparation(int step);
    void scrollGuides(int step);
    // Re-evaluates which menu items can act, after a change of state.
    void revalidateMenus() { m_view->revalidateMenus(); }

    // Shows nothing until the windows are built, then the windows.
    ViewerView m_noWindows;
    ViewerView *m_view = &m_noWindows;
    std::unique_ptr<ViewerWindows> m_windows;
    // Hands the application's gestures and full-screen pointer moves here.
    std::unique_ptr<ViewerEventRouting> m_eventRouting;
    // The windows' overlay and placement, kept at hand for the guides' and
    // the window's actions; null without windows.
    ui::LineOverlayView *m_lineOverlayView = nullptr;
    VideoWindowPlacement *m_placement = nullptr;
    device::DeviceLink *m_deviceLink = nullptr;
    ApplicationCommands *m_application = nullptr;
    ViewerModel m_model{*this};
    ui::HelpManual m_helpManual;
    video::ImageFilterChain m_filterChain{*this};
    std::function<void(bool)> m_diagnosticModeHandler;
    std::unique_ptr<video::CaptureController> m_capture;
    std::function<void(const std::optional<video::CaptureDevice> &)> m_hidRescan;
    std::function<void()> m_resetStuckVideo;
    std::function<void(int)> m_chooseVideoDevice;
    std::function<void(int)> m_chooseAudioDevice;

    bool m_enableDeinterlacing = false;
    bool m_enableDeinterlaceMenuItem = false;
    bool m_isFullScreen = false;

    std::vector<MenuDevice> m_videoDevices;
    std::vector<MenuDevice> m_audioDevices;
    int m_selectedVideoDevice = -1;
    int m_selectedAudioDevice = -1;

    video::FreezeFrameProcessor m_freezeFrames{*this};
    ui::StillSavePanel m_stillSavePanel;
    video::StillSaver m_stillSaver{*this, m_freezeFrames, m_stillSavePanel};
    ui::MovieSavePanel m_movieSavePanel;
    video::MovieRecorder m_movieRecorder{m_movieSavePanel, [this] { return isFullScreen(); }};
    video::CaptureBackend *m_captureBackend = nullptr;
    settings::SettingsStore m_settingsStore;
    settings::PreferencesKeeper m_preferencesKeeper{m_settingsStore};
    settings::UpdateBookkeeping m_update;
    bool m_userHasSetPreferences = false;
    bool m_applyingSettings = false;
    bool m_firstLaunch = false;
    bool m_automaticallyLaunchesOnDeviceAttach = true;
    std::uint8_t m_dockingInfo = 0;
    std::optional<QString> m_appVersionReadyToInstall;
    std::unique_ptr<FirmwareUpdateFlow> m_firmwareUpdateFlow;
    std::unique_ptr<ViewerUpdater> m_updater; // last: it calls back into everything above
};

} // namespace kelvo::viewer
