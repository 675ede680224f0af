#include "viewer/model/ViewerModel.h"

#include "common/SystemLog.h"
#include "device/ReportProtocol.h"

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

} // namespace

ViewerModel::ViewerModel(ViewerModelHost &host, QObject *parent) : QObject(parent), m_host(host) {}

bool ViewerModel::sendCommand(long command)
{
    return m_sender && m_sender->sendHIDCommand(command);
}

// ---- Camera commands and light ----------------------------------------------------

void ViewerModel::sendHidCommand(long command)
{
    if (!sendCommand(command))
        systemLog("Could not send arbitrary HID command.\n");
}

void ViewerModel::toggleLight()
{
    setLightIsOn(!m_lightIsOn);
    if (!sendCommand(HIDCommandToggleLight))
        systemLog("Could not send toggle light command.\n");
}

void ViewerModel::setLightIsOn(bool on)
{
    m_lightIsOn = on;
    emit lightChanged(on);
}

void ViewerModel::setColorBalanceMode(std::int64_t mode)
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
    emit colorBalanceChanged(m_colorBalanceMode);
    m_host.savePreferences();
}

// ---- Freeze -------------------------------------------------------------------------

bool ViewerModel::isFrozen() const
{
    std::lock_guard lock(m_freezeMutex);
    return m_isFrozen;
}

bool ViewerModel::waitingToFreeze() const
{
    std::lock_guard lock(m_freezeMutex);
    return m_waitingToFreeze;
}

bool ViewerModel::takeWaitingToFreeze()
{
    std::lock_guard lock(m_freezeMutex);
    const bool waiting = m_waitingToFreeze;
    m_waitingToFreeze = false;
    return waiting;
}

void ViewerModel::freezeFrame()
{
    systemLog("Sending freeze command\n");
    if (!sendCommand(HIDCommandFreeze))
        systemLog("Could not send freeze command.\n");
    if (isFrozen())
        return;
    if (m_host.OSDIsVisible())
        m_host.hideOnScreenDisplay();
    systemLog("Setting isFrozen to YES\n");
    {
        // The capture callback reads these; setting them together keeps it
        // from seeing a freeze without its pending frame.
        std::lock_guard lock(m_freezeMutex);
        m_isFrozen = true;
        m_waitingToFreeze = true;
    }
    emit frozenChanged(true);
}

void ViewerModel::unfreezeFrame()
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
        m_host.showLivePicture();
    }
    emit frozenChanged(false);
    systemLog("Reached end\n");
}

void ViewerModel::freezeThaw()
{
    if (isFrozen())
        unfreezeFrame();
    else
        freezeFrame();
}

void ViewerModel::saveFreezeFrame()
{
    if (waitingToFreeze()) {
        m_waitingToSave = true;
    } else if (isFrozen()) {
        m_host.finishSavingFreezeFrame();
        m_unfreezeWhenSaved = false;
    } else {
        freezeThaw();
        m_waitingToSave = true;
        m_unfreezeWhenSaved = true;
    }
}

// ---- Recording and sound -------------------------------------------------------------

void ViewerModel::startStopRecording()
{
    if (m_isRecording) {
        m_isRecording = false;
    } else {
        if (isFrozen())
            unfreezeFrame();
        m_isRecording = true;
    }
    emit recordingChanged(m_isRecording);
}

void ViewerModel::muteUnmute()
{
    m_isMuted = !m_isMuted;
    emit mutedChanged(m_isMuted);
    setRecordingGain(m_recordingGain);
}

void ViewerModel::setRecording(bool recording)
{
    m_isRecording = recording;
    emit recordingChanged(recording);
}

void ViewerModel::setRecordingGain(double gain)
{
    m_recordingGain = gain;
    emit audioGainChanged(effectiveAudioGain());
}

void ViewerModel::setAudioLevel(float level)
{
    if (level == m_audioLevel)
        return;
    m_audioLevel = level;
    emit audioLevelChanged(level);
}

void ViewerModel::setSoundInputPresent(bool present)
{
    if (present == m_soundInputPresent)
        return;
    m_soundInputPresent = present;
    emit soundInputChanged(present);
}

void ViewerModel::setShowingAudioLevelIndicator(bool showing)
{
    m_showingAudioLevelIndicator = showing;
    emit audioLevelIndicatorChanged(showing);
}

// ---- Zoom and locating ------------------------------------------------------------------

void ViewerModel::zoomCameraIn()
{
    systemLog("Zoom Camera In\n");
    setZoomLevel(m_zoomLevel + 1);
    m_savedZoomLevel = 0;
    m_host.redrawGuides();
}

void ViewerModel::zoomCameraOut()
{
    setZoomLevel(m_zoomLevel - 1);
    m_savedZoomLevel = 0;
    m_host.redrawGuides();
}

void ViewerModel::setZoomLevel(int level)
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
        m_host.setDigitalZoomLevel(1.0);
        if (!sendCommand(HIDCommandZoom1 + level - 1))
            systemLog("Could not send zoom %d command[1]\n", level);
        systemLog("Zoom level now %d\n", level);
    } else {
        m_host.setDigitalZoomLevel(1.0 + (level - kLastOpticalZoomLevel) * kDigitalZoomStep);
        if (!sendCommand(HIDCommandZoom8))
            systemLog("Could not send zoom 8 command\n");
    }
    emit zoomLevelChanged(level);
    m_host.redrawGuides();
    m_host.savePreferences();
}

void ViewerModel::findZoomPositionEnter()
{
    if (m_savedZoomLevel != 0 || m_zoomLevel == 1)
        return;
    systemLog("Setting saved zoom level to %d, zoom level to 1\n", m_zoomLevel);
    m_savedZoomLevel = m_zoomLevel;
    setZoomLevel(1);
    m_host.redrawGuides();
}

void ViewerModel::findZoomPositionExit()
{
    if (m_savedZoomLevel == 0)
        return;
    const int level = m_savedZoomLevel;
    systemLog("Restoring zoom level to %d, clearing saved zoom level\n", level);
    setZoomLevel(level);
    m_savedZoomLevel = 0;
    m_host.redrawGuides();
}

void ViewerModel::findZoomPosition()
{
    if (m_savedZoomLevel == 0) {
        if (m_zoomLevel != 1)
            findZoomPositionEnter();
    } else {
        findZoomPositionExit();
    }
}

void ViewerModel::beginGesture()
{
    m_zoomAccum = m_zoomLevel;
}

void ViewerModel::magnify(double magnification)
{
    m_zoomAccum += magnification * kPinchLevelsPerMagnification;
    // std::lround rounds halves away from zero, as the gesture expects.
    const long rounded = std::lround(m_zoomAccum);
    if (rounded != m_zoomLevel)
        setZoomLevel(static_cast<int>(rounded));
}

void ViewerModel::endGesture()
{
    m_zoomAccum = m_zoomLevel;
}

// ---- Colour ----------------------------------------------------------------------------------

std::int64_t ViewerModel::currentColorMode()
{
    return video::currentColorMode(m_colour, [this](std::int64_t index) { setChosenPreferredColorMode(index); });
}

bool ViewerModel::isInInverseColorMode() const
{
    // Reading the mode must not repair it from a const context; the repair
    // happens on the next picture rebuild.
    return video::isInInverseColorMode(m_colour, {});
}

void ViewerModel::nextColorMode()
{
    const auto count = static_cast<std::uint64_t>(m_colour.preferredFilters.size());
    if (count == 0) {
        m_host.beep();
        return;
    }
    // Unsigned, so that from -1 (no preferred mode) the next index is 0.
    const std::uint64_t next = (static_cast<std::uint64_t>(m_colour.chosenPreferredColorMode) + 1) % count;
    setChosenPreferredColorMode(static_cast<std::int64_t>(next));
}

void ViewerModel::setColorModeFromTag(int tag)
{
    if (tag >= 1000)
        setChosenPreferredColorMode(tag - 1000);
    else
        setChosenNonPreferredColorMode(static_cast<std::uint64_t>(static_cast<std::int64_t>(tag)));
}

// Whether a preferred colour mode index may be chosen. With no preferred
// modes at all, any index other than -1 falls back to the first mode.
bool ViewerModel::acceptsPreferredColorModeIndex(std::int64_t index)
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

void ViewerModel::colorModeChosen()
{
    m_host.redrawGuides();
    emit colourModeChanged();
    m_host.savePreferences();
    m_host.setImageFilters();
}

void ViewerModel::setChosenPreferredColorMode(std::int64_t index)
{
    if (!acceptsPreferredColorModeIndex(index))
        return;
    m_colour.chosenPreferredColorMode = index;
    colorModeChosen();
}

void ViewerModel::setChosenNonPreferredColorMode(std::uint64_t mode)
{
    if (mode >= static_cast<std::uint64_t>(video::kColorModeCount))
        return;
    m_colour.chosenNonPreferredColorMode = static_cast<std::int64_t>(mode);
    m_colour.chosenPreferredColorMode = -1;
    setPreferredColorModeIfApplicable();
    colorModeChosen();
}

void ViewerModel::setChosenPreferredColorModeAndNonPreferredMode(std::int64_t index, std::int64_t nonPreferredMode)
{
    if (!acceptsPreferredColorModeIndex(index))
        return;
    m_colour.chosenPreferredColorMode = index;
    m_colour.chosenNonPreferredColorMode = nonPreferredMode;
    setPreferredColorModeIfApplicable();
    colorModeChosen();
}

void ViewerModel::setPreferredColorModeIfApplicable()
{
    if (m_colour.chosenPreferredColorMode != -1)
        return;
    const auto &list = m_colour.preferredFilters;
    for (size_t i = 0; i < list.size(); ++i) {
        if (list[i] == m_colour.chosenNonPreferredColorMode)
            m_colour.chosenPreferredColorMode = static_cast<std::int64_t>(i);
    }
}

// ---- Orientation and mirroring ----------------------------------------------------------------

void ViewerModel::setPreviewConnection(bool exists, bool supportsOrientation, bool supportsMirroring)
{
    m_previewHasConnection = exists;
    m_previewSupportsOrientation = exists && supportsOrientation;
    m_previewSupportsMirroring = exists && supportsMirroring;
}

void ViewerModel::rotateWindowUIAction()
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

void ViewerModel::setVideoOrientation(int orientation)
{
    m_videoOrientation = orientation;
    m_host.setPreviewOrientation(orientation, m_isMirrored);
    systemLog("New orientation: %d\n", orientation);
    emit orientationChanged(orientation);
    m_host.setImageFilters();
    m_host.savePreferences();
}

void ViewerModel::mirrorScreenUIAction()
{
    setIsMirrored(!m_isMirrored);
}

void ViewerModel::setIsMirrored(bool mirrored)
{
    if (!m_previewHasConnection) {
        m_isMirrored = mirrored;
    } else if (m_previewSupportsMirroring) {
        m_isMirrored = mirrored;
        m_host.setPreviewOrientation(m_videoOrientation, mirrored);
        m_host.setImageFilters();
        systemLog("Mirroring changed to %s.\n", m_isMirrored ? "ON" : "OFF");
    } else {
        systemLog("Mirroring not supported\n");
        m_isMirrored = false;
    }
    emit mirroredChanged(m_isMirrored);
    m_host.savePreferences();
}

void ViewerModel::setQuadrelPhysicalOrientation(long position)
{
    m_host.savePreferences();
    m_quadrelPhysicalOrientation = position;
    m_host.loadPreferences();
    if (position != 0) {
        setChosenNonPreferredColorMode(0);
        m_host.savePreferences();
    }
}

// ---- The zoom buttons' mode ------------------------------------------------------------------------

void ViewerModel::toggleZoomGuideSpacingMode()
{
    m_zoomChangesGuideSpacing = !m_zoomChangesGuideSpacing;
    m_zoomScrollsGuides = false;
    emit zoomButtonModeChanged();
}

void ViewerModel::toggleZoomGuidePositionMode()
{
    m_zoomScrollsGuides = !m_zoomScrollsGuides;
    m_zoomChangesGuideSpacing = false;
    emit zoomButtonModeChanged();
}

int ViewerModel::nextBatteryDemonstrationLevel()
{
    m_batteryDemonstrationLevel = (m_batteryDemonstrationLevel + 1) % 4;
    return m_batteryDemonstrationLevel;
}

} // namespace kelvo::viewer
