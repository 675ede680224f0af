// The controller's side of the viewer's actions: each is the model's rule,
// and what the user sees change follows from the model's signals.
#include "viewer/MainWindowDelegate.h"

#include "common/SystemLog.h"
#include "device/DeviceLink.h"
#include "ui/LineOverlayView.h"
#include "ui/MenuTags.h"

#include <QAction>

namespace kelvo::viewer {
namespace {

int tagOf(QAction *sender)
{
    return sender ? ui::tagOf(sender) : 0;
}

} // namespace

bool MainWindowDelegate::sendHIDCommand(long command)
{
    return m_deviceLink && m_deviceLink->sendHIDCommand(command);
}

void MainWindowDelegate::redrawGuides()
{
    m_view->redrawGuides();
}

void MainWindowDelegate::showLivePicture()
{
    // Deinterlaced live frames are drawn as stills; they go on.
    if (!m_enableDeinterlacing)
        m_view->setStillPicture(QImage());
}

void MainWindowDelegate::setPreviewOrientation(int orientation, bool mirrored)
{
    m_view->setPreviewOrientation(orientation, mirrored);
}

// ---- Device commands and light ------------------------------------------------

void MainWindowDelegate::sendHidCommand(QAction *sender)
{
    m_model.sendHidCommand(tagOf(sender));
}

void MainWindowDelegate::toggleLight()
{
    m_model.toggleLight();
}

void MainWindowDelegate::setLightIsOn(bool on)
{
    m_model.setLightIsOn(on);
}

void MainWindowDelegate::setColorBalance(QAction *sender)
{
    m_model.setColorBalanceMode(tagOf(sender) - ui::MenuTag::ColourBalanceNormal);
}

void MainWindowDelegate::setColorBalanceMode(std::int64_t mode)
{
    m_model.setColorBalanceMode(mode);
}

// ---- Freeze ---------------------------------------------------------------------

bool MainWindowDelegate::isFrozen() const
{
    return m_model.isFrozen();
}

bool MainWindowDelegate::waitingToFreeze() const
{
    return m_model.waitingToFreeze();
}

void MainWindowDelegate::freezeFrame()
{
    m_model.freezeFrame();
}

void MainWindowDelegate::unfreezeFrame()
{
    m_model.unfreezeFrame();
}

void MainWindowDelegate::freezeThaw()
{
    m_model.freezeThaw();
}

void MainWindowDelegate::saveFreezeFrame()
{
    m_model.saveFreezeFrame();
}

void MainWindowDelegate::startStopRecording()
{
    if (m_movieRecorder.isRecording()) {
        setRecording(false);
        return;
    }
    // The movie shows the live picture.
    if (isFrozen())
        unfreezeFrame();
    setRecording(true);
}

void MainWindowDelegate::muteUnmute()
{
    m_model.muteUnmute();
}

// ---- Zoom and locating -------------------------------------------------------------

void MainWindowDelegate::zoomCameraIn()
{
    m_model.zoomCameraIn();
}

void MainWindowDelegate::zoomCameraOut()
{
    m_model.zoomCameraOut();
}

void MainWindowDelegate::setZoomLevel(int level)
{
    m_model.setZoomLevel(level);
}

void MainWindowDelegate::findZoomPositionEnter()
{
    m_model.findZoomPositionEnter();
}

void MainWindowDelegate::findZoomPositionExit()
{
    m_model.findZoomPositionExit();
}

void MainWindowDelegate::findZoomPosition()
{
    m_model.findZoomPosition();
}

void MainWindowDelegate::beginGesture()
{
    m_model.beginGesture();
    if (m_lineOverlayView)
        m_lineOverlayView->setMouseDragMode(m_lineOverlayView->horizontalReadingGuideMode() != 0 ? 1 : 4);
}

void MainWindowDelegate::magnify(double magnification)
{
    m_model.magnify(magnification);
}

void MainWindowDelegate::rotateGesture(float rotation)
{
    const double r = rotation;
    systemLog("Set rotation to %lf\n", r);
    if (m_lineOverlayView)
        m_lineOverlayView->handleContinuingMouseDragWithDeltaX(-r, r);
}

void MainWindowDelegate::endGesture()
{
    m_model.endGesture();
    if (m_lineOverlayView)
        m_lineOverlayView->setMouseDragMode(0);
}

// ---- Colour --------------------------------------------------------------------------

void MainWindowDelegate::setPreferredFilters(const std::vector<std::int64_t> &modes)
{
    m_model.setPreferredFilters(modes);
}

std::int64_t MainWindowDelegate::currentColorMode()
{
    return m_model.currentColorMode();
}

bool MainWindowDelegate::isInInverseColorMode() const
{
    return m_model.isInInverseColorMode();
}

void MainWindowDelegate::nextColorMode()
{
    m_model.nextColorMode();
}

void MainWindowDelegate::setColorModeFromMenu(QAction *sender)
{
    m_model.setColorModeFromTag(tagOf(sender));
}

void MainWindowDelegate::setColorModeFromTag(int tag)
{
    m_model.setColorModeFromTag(tag);
}

void MainWindowDelegate::setChosenPreferredColorMode(std::int64_t index)
{
    m_model.setChosenPreferredColorMode(index);
}

void MainWindowDelegate::setChosenNonPreferredColorMode(std::uint64_t mode)
{
    m_model.setChosenNonPreferredColorMode(mode);
}

void MainWindowDelegate::setChosenPreferredColorModeAndNonPreferredMode(std::int64_t index,
                                                                        std::int64_t nonPreferredMode)
{
    m_model.setChosenPreferredColorModeAndNonPreferredMode(index, nonPreferredMode);
}

void MainWindowDelegate::setPreferredColorModeIfApplicable()
{
    m_model.setPreferredColorModeIfApplicable();
}

// ---- Orientation and mirroring ---------------------------------------------------------

void MainWindowDelegate::setPreviewConnection(bool exists, bool supportsOrientation, bool supportsMirroring)
{
    m_model.setPreviewConnection(exists, supportsOrientation, supportsMirroring);
}

void MainWindowDelegate::rotateWindowUIAction()
{
    m_model.rotateWindowUIAction();
}

void MainWindowDelegate::setVideoOrientation(int orientation)
{
    m_model.setVideoOrientation(orientation);
}

void MainWindowDelegate::mirrorScreenUIAction()
{
    m_model.mirrorScreenUIAction();
}

void MainWindowDelegate::setIsMirrored(bool mirrored)
{
    m_model.setIsMirrored(mirrored);
}

void MainWindowDelegate::setQuadrelPhysicalOrientation(long position)
{
    m_model.setQuadrelPhysicalOrientation(position);
}

// ---- Reading guides ------------------------------------------------------------------------

void MainWindowDelegate::scrollGuides(int step)
{
    if (m_lineOverlayView)
        m_lineOverlayView->setScrollPosition(m_lineOverlayView->scrollPosition() + step);
    savePreferences();
}

void MainWindowDelegate::scrollUpwards()
{
    scrollGuides(-1);
}

void MainWindowDelegate::scrollDownwards()
{
    scrollGuides(+1);
}

void MainWindowDelegate::changeLineSeparation(int step)
{
    if (m_lineOverlayView) {
        m_lineOverlayView->setGuideSeparation(m_lineOverlayView->guideSeparation() + step);
        m_lineOverlayView->setDragAccumX(0);
        m_lineOverlayView->setDragAccumY(0);
    }
    savePreferences();
}

void MainWindowDelegate::increaseLineSeparation()
{
    changeLineSeparation(+1);
}

void MainWindowDelegate::decreaseLineSeparation()
{
    changeLineSeparation(-1);
}

void MainWindowDelegate::setLineDistance(QAction *sender)
{
    if (tagOf(sender) == 1)
        increaseLineSeparation();
    else
        decreaseLineSeparation();
}

void MainWindowDelegate::setLineWidth(QAction *sender)
{
    if (m_lineOverlayView)
        m_lineOverlayView->setLineWidth(static_cast<std::uint64_t>(tagOf(sender) - ui::MenuTag::GuideLineWidthBase));
    savePreferences();
}

namespace {
std::int32_t nextGuideMode(std::int32_t mode)
{
    return mode == 0 ? 1 : mode == 1 ? 2 : 0;
}
} // namespace

void MainWindowDelegate::toggleHorizontalReadingGuidesMode()
{
    if (m_lineOverlayView)
        m_lineOverlayView->setHorizontalReadingGuideMode(
            nextGuideMode(m_lineOverlayView->horizontalReadingGuideMode()));
    if (m_lineOverlayView)
        m_model.guideModeChosen(true, m_lineOverlayView->horizontalReadingGuideMode());
    savePreferences();
}

void MainWindowDelegate::toggleVerticalReadingGuidesMode()
{
    if (m_lineOverlayView)
        m_lineOverlayView->setVerticalReadingGuideMode(nextGuideMode(m_lineOverlayView->verticalReadingGuideMode()));
    if (m_lineOverlayView)
        m_model.guideModeChosen(false, m_lineOverlayView->verticalReadingGuideMode());
    savePreferences();
}

void MainWindowDelegate::toggleZoomGuideSpacingMode()
{
    m_model.toggleZoomGuideSpacingMode();
}

void MainWindowDelegate::toggleZoomGuidePositionMode()
{
    m_model.toggleZoomGuidePositionMode();
}

// ---- Indicators ------------------------------------------------------------------------------

void MainWindowDelegate::showBatteryLevelIndicator()
{
    m_view->setBatteryLevelIndicatorShown(true);
}

void MainWindowDelegate::hideBatteryLevelIndicator()
{
    m_view->setBatteryLevelIndicatorShown(false);
}

bool MainWindowDelegate::batteryLevelIndicatorShown() const
{
    return m_view->batteryLevelIndicatorShown();
}

void MainWindowDelegate::setBatteryLevel(long level)
{
    m_view->setBatteryLevel(static_cast<int>(level));
}

int MainWindowDelegate::batteryLevel() const
{
    return m_view->batteryLevel();
}

void MainWindowDelegate::showHideBatteryLevel()
{
    if (batteryLevelIndicatorShown()) {
        hideBatteryLevelIndicator();
        return;
    }
    showBatteryLevelIndicator();
    setBatteryLevel(m_model.nextBatteryDemonstrationLevel());
}

void MainWindowDelegate::showHideAudioLevel()
{
    m_model.setShowingAudioLevelIndicator(!m_model.showingAudioLevelIndicator());
}

} // namespace kelvo::viewer
