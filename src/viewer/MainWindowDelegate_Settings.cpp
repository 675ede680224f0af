// The controller's side of the settings: what it saves, in which context,
// and the setters a load applies.
#include "viewer/MainWindowDelegate.h"

#include "ui/LineOverlayView.h"
#include "viewer/VideoWindowPlacement.h"

#include <QGuiApplication>
#include <QScreen>

namespace kelvo::viewer {

settings::ViewerPreferences MainWindowDelegate::currentPreferences() const
{
    settings::ViewerPreferences p;
    p.userHasSetPreferences = m_userHasSetPreferences;
    p.update = m_update;
    p.update.appVersionReadyToInstall = m_appVersionReadyToInstall;
    p.automaticallyLaunchesOnDeviceAttach = settings::PlistValue::boolean(m_automaticallyLaunchesOnDeviceAttach);
    p.preferredFilters = m_model.colourSelection().preferredFilters;
    p.showingAudioLevelIndicator = m_model.showingAudioLevelIndicator();
    p.dockingInfo = dockingInfo();
    p.enableDeinterlacing = m_enableDeinterlacing;
    p.chosenPreferredColorMode = m_model.colourSelection().chosenPreferredColorMode;
    p.chosenNonPreferredColorMode = m_model.colourSelection().chosenNonPreferredColorMode;
    p.videoOrientation = m_model.videoOrientation();
    p.isMirrored = m_model.isMirrored();
    if (m_lineOverlayView) {
        p.lineWidth = m_lineOverlayView->lineWidth();
        p.guideSeparation = m_lineOverlayView->guideSeparation();
        p.scrollPosition = m_lineOverlayView->scrollPosition();
        p.horizontalReadingGuideMode = m_lineOverlayView->horizontalReadingGuideMode();
        p.verticalReadingGuideMode = m_lineOverlayView->verticalReadingGuideMode();
    }
    p.colorBalanceMode = m_model.colorBalanceMode();
    p.zoomLevel = m_model.zoomLevel();
    return p;
}

settings::PreferencesContext MainWindowDelegate::preferencesContext() const
{
    settings::PreferencesContext c;
    c.quadrelPhysicalOrientation = m_model.quadrelPhysicalOrientation();
    if (m_capture) {
        // The session's choice is current even before the menus are rebuilt.
        if (const auto &device = m_capture->selectedVideoDevice()) {
            c.selectedVideoDeviceUniqueId = QString::fromStdString(device->uniqueID);
            c.selectedVideoDeviceModelId = QString::fromStdString(device->modelID);
        }
    } else if (m_selectedVideoDevice >= 0 && m_selectedVideoDevice < static_cast<int>(m_videoDevices.size())) {
        c.selectedVideoDeviceUniqueId = m_videoDevices[static_cast<size_t>(m_selectedVideoDevice)].uniqueID;
        c.selectedVideoDeviceModelId = m_videoDevices[static_cast<size_t>(m_selectedVideoDevice)].modelID;
    }
    c.videoWindowExists = interfaceLoaded();
    c.overlayExists = m_lineOverlayView != nullptr;
    c.fullScreenOrTransitioning = isFullScreen();
    if (m_placement) {
        c.fullScreenOrTransitioning = c.fullScreenOrTransitioning || m_placement->transitioningToFullScreen() ||
                                      m_placement->transitioningFromFullScreen();
    }
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        c.mainScreenVisibleFrame = VideoWindowPlacement::fromQtScreen(screen->availableGeometry());
    if (interfaceLoaded()) {
        c.videoWindowFrame = VideoWindowPlacement::fromQtScreen(m_view->videoWindowGeometry());
        c.windowFrameBeforeEnteringFullScreenMode = c.videoWindowFrame;
        if (m_placement) {
            const Rect &saved = m_placement->windowFrameBeforeEnteringFullScreenMode();
            if (saved.width > 0 && saved.height > 0)
                c.windowFrameBeforeEnteringFullScreenMode = saved;
        }
        const QRectF preview = m_view->previewViewBounds();
        if (preview.height() > 0)
            c.videoAspectRatio = preview.width() / preview.height();
    }
    return c;
}

void MainWindowDelegate::loadPreferences()
{
    // A camera's saved state coming back is not news to announce.
    const bool wasApplying = m_applyingSettings;
    m_applyingSettings = true;
    m_preferencesKeeper.loadPreferences(preferencesContext(), *this);
    m_applyingSettings = wasApplying;
}

void MainWindowDelegate::savePreferences()
{
    if (m_preferencesKeeper.savePreferences(currentPreferences(), preferencesContext()) !=
        settings::SaveOutcome::Skipped)
        emit preferencesSaved();
}

void MainWindowDelegate::factoryReset()
{
    m_preferencesKeeper.factoryReset(preferencesContext(), *this);
}

void MainWindowDelegate::unhideInternalFeaturesMenu()
{
    m_view->showInternalMenu();
}

void MainWindowDelegate::setUpdateBookkeeping(const settings::UpdateBookkeeping &bookkeeping)
{
    m_update = bookkeeping;
    m_appVersionReadyToInstall = bookkeeping.appVersionReadyToInstall;
}

void MainWindowDelegate::setAutomaticallyLaunchesOnDeviceAttach(const settings::PlistValue &number)
{
    m_automaticallyLaunchesOnDeviceAttach = number.isBooleanTrue() || number.intValue() != 0;
}

void MainWindowDelegate::setShowingAudioLevelIndicator(bool value)
{
    m_model.setShowingAudioLevelIndicator(value);
}

void MainWindowDelegate::setLineWidth(std::uint64_t width)
{
    if (m_lineOverlayView)
        m_lineOverlayView->setLineWidth(width);
}

void MainWindowDelegate::setGuideSeparation(std::int32_t separation)
{
    if (m_lineOverlayView)
        m_lineOverlayView->setGuideSeparation(separation);
}

void MainWindowDelegate::setScrollPosition(std::int32_t position)
{
    if (m_lineOverlayView)
        m_lineOverlayView->setScrollPosition(position);
}

void MainWindowDelegate::setHorizontalReadingGuideMode(std::int32_t mode)
{
    if (m_lineOverlayView)
        m_lineOverlayView->setHorizontalReadingGuideMode(mode);
}

void MainWindowDelegate::setVerticalReadingGuideMode(std::int32_t mode)
{
    if (m_lineOverlayView)
        m_lineOverlayView->setVerticalReadingGuideMode(mode);
}

void MainWindowDelegate::setVideoWindowFrame(const settings::Rect &frame)
{
    // A saved frame may lie on a screen that is gone, or be larger than the
    // screens there are now: the placement moves it where it can be reached.
    if (m_placement && frame.width > 0 && frame.height > 0)
        m_placement->setFrame(frame);
}

} // namespace kelvo::viewer
