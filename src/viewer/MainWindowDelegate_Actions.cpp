// The controller's side of the viewer's actions: each is the model's rule,
// and what the user sees change follows from the model's signals.
#include "viewer/MainWindowDelegate.h"

#include "common/Localization.h"
#include "common/SystemLog.h"
#include "device/DeviceLink.h"
#include "ui/CustomSlider.h"
#include "ui/DraggableLevelIndicator.h"
#include "ui/DraggableView.h"
#include "ui/DraggableWindow.h"
#include "ui/LineOverlayView.h"
#include "ui/MainMenu.h"
#include "ui/MenuTags.h"
#include "ui/VideoView.h"

#include <QAction>
#include <QApplication>
#include <QGraphicsOpacityEffect>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>

namespace kelvo::viewer {
namespace {

int tagOf(QAction *sender)
{
    return sender ? ui::tagOf(sender) : 0;
}

} // namespace

void MainWindowDelegate::observeModel()
{
    connect(&m_model, &ViewerModel::lightChanged, this,
            [this](bool on) { setCheckMarkForItem(ui::MenuTag::Light, ui::MenuTag::Camera, on); });
    connect(&m_model, &ViewerModel::colorBalanceChanged, this, [this](std::int64_t mode) {
        QAction *submenu = menuItem(ui::MenuTag::Camera, ui::MenuTag::ColourBalance);
        if (!submenu || !submenu->menu())
            return;
        for (int tag = ui::MenuTag::ColourBalanceNormal; tag <= ui::MenuTag::ColourBalanceWarm; ++tag) {
            if (QAction *item = ui::findItemInMenu(submenu->menu(), tag)) {
                item->setCheckable(true);
                item->setChecked(mode == tag - ui::MenuTag::ColourBalanceNormal);
            }
        }
    });
    connect(&m_model, &ViewerModel::frozenChanged, this, [this](bool frozen) {
        setCheckMarkForItem(ui::MenuTag::Freeze, ui::MenuTag::Camera, frozen);
        revalidateMenus();
    });
    connect(&m_model, &ViewerModel::colourModeChanged, this, &MainWindowDelegate::setColorMenuCheckboxes);
    connect(&m_model, &ViewerModel::mirroredChanged, this,
            [this](bool mirrored) { setCheckMarkForItem(ui::MenuTag::Mirror, ui::MenuTag::Camera, mirrored); });
    connect(&m_model, &ViewerModel::recordingChanged, this, [this](bool recording) {
        if (QAction *item = menuItem(ui::MenuTag::Recording, ui::MenuTag::StartStopRecording))
            item->setText(recording ? localized("Stop &Recording") : localized("Start &Recording"));
    });
    connect(&m_model, &ViewerModel::mutedChanged, this, [this](bool muted) {
        setCheckMarkForItem(ui::MenuTag::Mute, ui::MenuTag::Audio, muted);
        // Muted, the meter and the gain have nothing to say: greyed out and
        // out of reach, but still where the user left them.
        if (!interfaceLoaded())
            return;
        for (QWidget *control : {static_cast<QWidget *>(m_outlets.audioLevelIndicator),
                                 static_cast<QWidget *>(m_outlets.audioGainControl)}) {
            control->setEnabled(!muted);
            auto *opacity = qobject_cast<QGraphicsOpacityEffect *>(control->graphicsEffect());
            if (!opacity) {
                opacity = new QGraphicsOpacityEffect(control);
                control->setGraphicsEffect(opacity);
            }
            opacity->setOpacity(muted ? 0.4 : 1.0);
        }
    });
    connect(&m_model, &ViewerModel::audioLevelIndicatorChanged, this, [this](bool showing) {
        if (interfaceLoaded())
            m_outlets.audioLevelIndicator->setVisible(showing);
        setCheckMarkForItem(ui::MenuTag::AudioLevel, ui::MenuTag::Audio, showing);
    });
    connect(&m_model, &ViewerModel::zoomButtonModeChanged, this, [this] {
        if (m_lineOverlayView)
            m_lineOverlayView->updateReadingGuideMenus();
    });
}

bool MainWindowDelegate::sendHIDCommand(long command)
{
    return m_deviceLink && m_deviceLink->sendHIDCommand(command);
}

void MainWindowDelegate::redrawGuides()
{
    if (m_lineOverlayView)
        m_lineOverlayView->update();
}

void MainWindowDelegate::showLivePicture()
{
    if (interfaceLoaded() && !m_enableDeinterlacing)
        m_outlets.previewView->setStillPicture(QImage());
}

void MainWindowDelegate::setPreviewOrientation(int orientation, bool mirrored)
{
    if (!interfaceLoaded())
        return;
    m_outlets.previewView->setMirrored(mirrored);
    m_outlets.previewView->setVideoOrientation(orientation);
}

void MainWindowDelegate::revalidateMenus()
{
    if (interfaceLoaded())
        m_outlets.mainMenu->validateAll();
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
    m_model.startStopRecording();
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
    savePreferences();
}

void MainWindowDelegate::toggleVerticalReadingGuidesMode()
{
    if (m_lineOverlayView)
        m_lineOverlayView->setVerticalReadingGuideMode(nextGuideMode(m_lineOverlayView->verticalReadingGuideMode()));
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
    if (interfaceLoaded())
        m_outlets.batteryLevelIndicatorView->show();
}

void MainWindowDelegate::hideBatteryLevelIndicator()
{
    if (interfaceLoaded())
        m_outlets.batteryLevelIndicatorView->hide();
}

bool MainWindowDelegate::batteryLevelIndicatorShown() const
{
    return interfaceLoaded() && !m_outlets.batteryLevelIndicatorView->isHidden();
}

void MainWindowDelegate::setBatteryLevel(long level)
{
    if (interfaceLoaded())
        m_outlets.batteryLevelIndicator->setValue(static_cast<int>(level));
}

int MainWindowDelegate::batteryLevel() const
{
    return interfaceLoaded() ? m_outlets.batteryLevelIndicator->value() : 0;
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
