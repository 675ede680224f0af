// The viewer's actions on its own state: camera commands, freeze, zoom,
// colour, orientation, reading guides and indicators.
#include "viewer/MainWindowDelegate.h"

#include "common/Localization.h"
#include "common/SystemLog.h"
#include "device/DeviceLink.h"
#include "device/ReportProtocol.h"
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
#include <cmath>

namespace kelvo::viewer {
namespace {

using namespace device;

constexpr int kMinZoomLevel = 1;
constexpr int kMaxZoomLevel = 16;
constexpr int kLastOpticalZoomLevel = 8;
constexpr double kDigitalZoomStep = 0.33;
// A pinch's magnification is scaled to zoom levels by this factor.
constexpr double kPinchLevelsPerMagnification = 3.0;

int tagOf(QAction *sender)
{
    return sender ? ui::tagOf(sender) : 0;
}

} // namespace

bool MainWindowDelegate::sendCommand(long command)
{
    return m_deviceLink && m_deviceLink->sendHIDCommand(command);
}

void MainWindowDelegate::redrawOverlay()
{
    if (m_lineOverlayView)
        m_lineOverlayView->update();
}

// ---- Device commands and light ------------------------------------------------

void MainWindowDelegate::sendHidCommand(QAction *sender)
{
    if (!sendCommand(tagOf(sender)))
        systemLog("Could not send arbitrary HID command.\n");
}

void MainWindowDelegate::toggleLight()
{
    setLightIsOn(!m_lightIsOn);
    if (!sendCommand(HIDCommandToggleLight))
        systemLog("Could not send toggle light command.\n");
}

void MainWindowDelegate::setLightIsOn(bool on)
{
    m_lightIsOn = on;
    setCheckMarkForItem(ui::MenuTag::Light, ui::MenuTag::Camera, on);
}

void MainWindowDelegate::setColorBalance(QAction *sender)
{
    setColorBalanceMode(tagOf(sender) - ui::MenuTag::ColourBalanceNormal);
}

void MainWindowDelegate::setColorBalanceMode(std::int64_t mode)
{
    struct Balance {
        long command;
        const char *refusal;
    };
    static constexpr Balance kBalances[] = {
        {HIDCommandColorNormal, "Could not send color normal command.\n"},
        {HIDCommandColorCool, "Could not send color cool command.\n"},
        {HIDCommandColorWarm, "Could not send color warm command.\n"},
    };
    if (mode >= 0 && mode <= 2) {
        m_colorBalanceMode = mode;
        const Balance &balance = kBalances[mode];
        if (!sendCommand(balance.command))
            systemLog("%s", balance.refusal);
    } else {
        systemLog("Unknown color mode.\n");
    }
    if (QAction *submenu = menuItem(ui::MenuTag::Camera, ui::MenuTag::ColourBalance); submenu && submenu->menu()) {
        for (int tag = ui::MenuTag::ColourBalanceNormal; tag <= ui::MenuTag::ColourBalanceWarm; ++tag) {
            if (QAction *item = ui::findItemInMenu(submenu->menu(), tag)) {
                item->setCheckable(true);
                item->setChecked(m_colorBalanceMode == tag - ui::MenuTag::ColourBalanceNormal);
            }
        }
    }
    savePreferences();
}

// ---- Freeze ---------------------------------------------------------------------

bool MainWindowDelegate::isFrozen() const
{
    std::lock_guard lock(m_freezeMutex);
    return m_isFrozen;
}

bool MainWindowDelegate::waitingToFreeze() const
{
    std::lock_guard lock(m_freezeMutex);
    return m_waitingToFreeze;
}

void MainWindowDelegate::freezeFrame()
{
    systemLog("Sending freeze command\n");
    if (!sendCommand(HIDCommandFreeze))
        systemLog("Could not send freeze command.\n");
    if (isFrozen())
        return;
    if (OSDIsVisible())
        hideOnScreenDisplay();
    systemLog("Setting isFrozen to YES\n");
    {
        // The capture callback reads these; setting them together keeps it
        // from seeing a freeze without its pending frame.
        std::lock_guard lock(m_freezeMutex);
        m_isFrozen = true;
        m_waitingToFreeze = true;
    }
    setCheckMarkForItem(ui::MenuTag::Freeze, ui::MenuTag::Camera, true);
    revalidateMenus();
}

void MainWindowDelegate::unfreezeFrame()
{
    systemLog("Sending unfreeze command\n");
    if (!sendCommand(HIDCommandUnfreeze))
        systemLog("Could not send unfreeze command.\n");
    if (!isFrozen())
        return;
    systemLog("Setting isFrozen to NO\n");
    {
        std::lock_guard lock(m_freezeMutex);
        // A save that was waiting for this freeze's frame is called off with
        // it; left armed it would open a dialog at the user's next freeze.
        if (m_waitingToFreeze) {
            m_waitingToSave = false;
            m_unfreezeWhenSaved = false;
        }
        m_isFrozen = false;
        m_waitingToFreeze = false;
        if (interfaceLoaded() && !m_enableDeinterlacing)
            m_outlets.previewView->setStillPicture(QImage());
    }
    setCheckMarkForItem(ui::MenuTag::Freeze, ui::MenuTag::Camera, false);
    revalidateMenus();
    systemLog("Reached end\n");
}

void MainWindowDelegate::freezeThaw()
{
    if (isFrozen())
        unfreezeFrame();
    else
        freezeFrame();
}

void MainWindowDelegate::saveFreezeFrame()
{
    if (waitingToFreeze()) {
        m_waitingToSave = true;
    } else if (isFrozen()) {
        finishSavingFreezeFrame();
        m_unfreezeWhenSaved = false;
    } else {
        freezeThaw();
        m_waitingToSave = true;
        m_unfreezeWhenSaved = true;
    }
}

void MainWindowDelegate::startStopRecording()
{
    if (m_isRecording) {
        m_isRecording = false;
    } else {
        if (isFrozen())
            unfreezeFrame();
        m_isRecording = true;
    }
    if (QAction *item = menuItem(ui::MenuTag::Recording, ui::MenuTag::StartStopRecording))
        item->setText(m_isRecording ? localized("Stop &Recording") : localized("Start &Recording"));
}

// ---- Zoom and locating -------------------------------------------------------------

void MainWindowDelegate::zoomCameraIn()
{
    systemLog("Zoom Camera In\n");
    setZoomLevel(m_zoomLevel + 1);
    m_savedZoomLevel = 0;
    redrawOverlay();
}

void MainWindowDelegate::zoomCameraOut()
{
    setZoomLevel(m_zoomLevel - 1);
    m_savedZoomLevel = 0;
    redrawOverlay();
}

void MainWindowDelegate::setZoomLevel(int level)
{
    if (level >= kMaxZoomLevel) {
        systemLog("At max zoom.\n");
        level = kMaxZoomLevel;
    } else if (level < kMinZoomLevel) {
        systemLog("At min zoom.\n");
        level = kMinZoomLevel;
    }
    m_zoomLevel = level;
    systemLog("Zoom level %d\n", level);
    if (level <= kLastOpticalZoomLevel) {
        setDigitalZoomLevel(1.0);
        if (!sendCommand(HIDCommandZoom1 + level - 1))
            systemLog("Could not send zoom %d command[1]\n", level);
        systemLog("Zoom level now %d\n", level);
    } else {
        setDigitalZoomLevel(1.0 + (level - kLastOpticalZoomLevel) * kDigitalZoomStep);
        if (!sendCommand(HIDCommandZoom8))
            systemLog("Could not send zoom 8 command\n");
    }
    redrawOverlay();
    savePreferences();
}

void MainWindowDelegate::findZoomPositionEnter()
{
    if (m_savedZoomLevel != 0 || m_zoomLevel == 1)
        return;
    systemLog("Setting saved zoom level to %d, zoom level to 1\n", m_zoomLevel);
    m_savedZoomLevel = m_zoomLevel;
    setZoomLevel(1);
    redrawOverlay();
}

void MainWindowDelegate::findZoomPositionExit()
{
    if (m_savedZoomLevel == 0)
        return;
    const int level = m_savedZoomLevel;
    systemLog("Restoring zoom level to %d, clearing saved zoom level\n", level);
    setZoomLevel(level);
    m_savedZoomLevel = 0;
    redrawOverlay();
}

void MainWindowDelegate::findZoomPosition()
{
    if (m_savedZoomLevel == 0) {
        if (m_zoomLevel != 1)
            findZoomPositionEnter();
    } else {
        findZoomPositionExit();
    }
}

void MainWindowDelegate::beginGesture()
{
    m_zoomAccum = m_zoomLevel;
    if (m_lineOverlayView)
        m_lineOverlayView->setMouseDragMode(m_lineOverlayView->horizontalReadingGuideMode() != 0 ? 1 : 4);
}

void MainWindowDelegate::magnify(double magnification)
{
    m_zoomAccum += magnification * kPinchLevelsPerMagnification;
    // std::round rounds halves away from zero, as the gesture expects.
    const long rounded = std::lround(m_zoomAccum);
    if (rounded != m_zoomLevel)
        setZoomLevel(static_cast<int>(rounded));
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
    m_zoomAccum = m_zoomLevel;
    if (m_lineOverlayView)
        m_lineOverlayView->setMouseDragMode(0);
}

// ---- Colour --------------------------------------------------------------------------

void MainWindowDelegate::setPreferredFilters(const std::vector<std::int64_t> &modes)
{
    m_colour.preferredFilters = modes;
}

std::int64_t MainWindowDelegate::currentColorMode()
{
    return video::currentColorMode(m_colour, [this](std::int64_t index) { setChosenPreferredColorMode(index); });
}

bool MainWindowDelegate::isInInverseColorMode() const
{
    // Reading the mode must not repair it from a const context; the repair
    // happens on the next picture rebuild.
    return video::isInInverseColorMode(m_colour, {});
}

void MainWindowDelegate::nextColorMode()
{
    const auto count = static_cast<std::uint64_t>(m_colour.preferredFilters.size());
    if (count == 0) {
        QApplication::beep();
        return;
    }
    // Unsigned, so that from -1 (no preferred mode) the next index is 0.
    const std::uint64_t next = (static_cast<std::uint64_t>(m_colour.chosenPreferredColorMode) + 1) % count;
    setChosenPreferredColorMode(static_cast<std::int64_t>(next));
}

void MainWindowDelegate::setColorModeFromMenu(QAction *sender)
{
    setColorModeFromTag(tagOf(sender));
}

void MainWindowDelegate::setColorModeFromTag(int tag)
{
    if (tag >= 1000)
        setChosenPreferredColorMode(tag - 1000);
    else
        setChosenNonPreferredColorMode(static_cast<std::uint64_t>(static_cast<std::int64_t>(tag)));
}

// Whether a preferred colour mode index may be chosen. With no preferred
// modes at all, any index other than -1 falls back to the first mode.
bool MainWindowDelegate::acceptsPreferredColorModeIndex(std::int64_t index)
{
    if (index != -1) {
        if (m_colour.preferredFilters.empty()) {
            setChosenNonPreferredColorMode(0);
            return false;
        }
        if (index < -1)
            return false;
    }
    return index < static_cast<std::int64_t>(m_colour.preferredFilters.size());
}

void MainWindowDelegate::colorModeChosen()
{
    redrawOverlay();
    setColorMenuCheckboxes();
    savePreferences();
    setImageFilters();
}

void MainWindowDelegate::setChosenPreferredColorMode(std::int64_t index)
{
    if (!acceptsPreferredColorModeIndex(index))
        return;
    m_colour.chosenPreferredColorMode = index;
    colorModeChosen();
}

void MainWindowDelegate::setChosenNonPreferredColorMode(std::uint64_t mode)
{
    if (mode >= static_cast<std::uint64_t>(video::kColorModeCount))
        return;
    m_colour.chosenNonPreferredColorMode = static_cast<std::int64_t>(mode);
    m_colour.chosenPreferredColorMode = -1;
    setPreferredColorModeIfApplicable();
    colorModeChosen();
}

void MainWindowDelegate::setChosenPreferredColorModeAndNonPreferredMode(std::int64_t index,
                                                                        std::int64_t nonPreferredMode)
{
    if (!acceptsPreferredColorModeIndex(index))
        return;
    m_colour.chosenPreferredColorMode = index;
    m_colour.chosenNonPreferredColorMode = nonPreferredMode;
    setPreferredColorModeIfApplicable();
    colorModeChosen();
}

void MainWindowDelegate::setPreferredColorModeIfApplicable()
{
    if (m_colour.chosenPreferredColorMode != -1)
        return;
    const auto &list = m_colour.preferredFilters;
    for (size_t i = 0; i < list.size(); ++i) {
        if (list[i] == m_colour.chosenNonPreferredColorMode)
            m_colour.chosenPreferredColorMode = static_cast<std::int64_t>(i);
    }
}

// ---- Orientation and mirroring ---------------------------------------------------------

void MainWindowDelegate::setPreviewConnection(bool exists, bool supportsOrientation, bool supportsMirroring)
{
    m_previewHasConnection = exists;
    m_previewSupportsOrientation = exists && supportsOrientation;
    m_previewSupportsMirroring = exists && supportsMirroring;
}

void MainWindowDelegate::rotateWindowUIAction()
{
    if (!m_previewSupportsOrientation) {
        systemLog("Orientation not supported\n");
        return;
    }
    int next = 1;
    switch (m_videoOrientation) {
    case 1:
        next = 4;
        break;
    case 4:
        next = 2;
        break;
    case 2:
        next = 3;
        break;
    default:
        next = 1;
        break;
    }
    setVideoOrientation(next);
}

void MainWindowDelegate::setVideoOrientation(int orientation)
{
    m_videoOrientation = orientation;
    if (interfaceLoaded())
        m_outlets.previewView->setVideoOrientation(orientation);
    systemLog("New orientation: %d\n", orientation);
    setImageFilters();
    savePreferences();
}

void MainWindowDelegate::mirrorScreenUIAction()
{
    setIsMirrored(!m_isMirrored);
}

void MainWindowDelegate::setIsMirrored(bool mirrored)
{
    if (!m_previewHasConnection) {
        m_isMirrored = mirrored;
    } else if (m_previewSupportsMirroring) {
        m_isMirrored = mirrored;
        m_outlets.previewView->setMirrored(mirrored);
        m_outlets.previewView->setVideoOrientation(m_videoOrientation);
        setImageFilters();
        systemLog("Mirroring changed to %s.\n", m_isMirrored ? "ON" : "OFF");
    } else {
        systemLog("Mirroring not supported\n");
        m_isMirrored = false;
    }
    setCheckMarkForItem(ui::MenuTag::Mirror, ui::MenuTag::Camera, m_isMirrored);
    savePreferences();
}

void MainWindowDelegate::setQuadrelPhysicalOrientation(long position)
{
    savePreferences();
    m_quadrelPhysicalOrientation = position;
    loadPreferences();
    if (position != 0) {
        setChosenNonPreferredColorMode(0);
        savePreferences();
    }
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
    m_zoomChangesGuideSpacing = !m_zoomChangesGuideSpacing;
    m_zoomScrollsGuides = false;
    if (m_lineOverlayView)
        m_lineOverlayView->updateReadingGuideMenus();
}

void MainWindowDelegate::toggleZoomGuidePositionMode()
{
    m_zoomScrollsGuides = !m_zoomScrollsGuides;
    m_zoomChangesGuideSpacing = false;
    if (m_lineOverlayView)
        m_lineOverlayView->updateReadingGuideMenus();
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
    m_batteryDemonstrationLevel = (m_batteryDemonstrationLevel + 1) % 4;
    setBatteryLevel(m_batteryDemonstrationLevel);
}

void MainWindowDelegate::showHideAudioLevel()
{
    m_showingAudioLevelIndicator = !m_showingAudioLevelIndicator;
    if (interfaceLoaded())
        m_outlets.audioLevelIndicator->setVisible(m_showingAudioLevelIndicator);
    setCheckMarkForItem(ui::MenuTag::AudioLevel, ui::MenuTag::Audio, m_showingAudioLevelIndicator);
}

} // namespace kelvo::viewer

namespace kelvo::viewer {

void MainWindowDelegate::muteUnmute()
{
    m_isMuted = !m_isMuted;
    setCheckMarkForItem(ui::MenuTag::Mute, ui::MenuTag::Audio, m_isMuted);
    // Muted, the meter and the gain have nothing to say: greyed out and
    // out of reach, but still where the user left them.
    if (!interfaceLoaded())
        return;
    for (QWidget *control :
         {static_cast<QWidget *>(m_outlets.audioLevelIndicator), static_cast<QWidget *>(m_outlets.audioGainControl)}) {
        control->setEnabled(!m_isMuted);
        auto *opacity = qobject_cast<QGraphicsOpacityEffect *>(control->graphicsEffect());
        if (!opacity) {
            opacity = new QGraphicsOpacityEffect(control);
            control->setGraphicsEffect(opacity);
        }
        opacity->setOpacity(m_isMuted ? 0.4 : 1.0);
    }
}

void MainWindowDelegate::revalidateMenus()
{
    if (interfaceLoaded())
        m_outlets.mainMenu->validateAll();
}

} // namespace kelvo::viewer
