#pragma once

#include "video/ColourMode.h"

#include <QObject>
#include <cstdint>
#include <mutex>
#include <vector>

namespace kelvo::viewer {

// Sends the camera its numbered commands; answers false when a command could
// not be queued (no camera open). The device link in the program.
class CameraCommandSender {
public:
    virtual ~CameraCommandSender() = default;
    virtual bool sendHIDCommand(long command) = 0;
};

// The steps of an action that happen outside the model: the picture, the
// guides, the settings. The widget side of the viewer provides them.
// Thread: main thread.
class ViewerModelHost {
public:
    virtual ~ViewerModelHost() = default;
    // Writes the whole state (suppressed while the settings load).
    virtual void savePreferences() = 0;
    // Reads the settings of the current camera and head position back
    // through the model's setters.
    virtual void loadPreferences() = 0;
    // Rebuilds the picture's colour, zoom and mirror filters.
    virtual void setImageFilters() = 0;
    // Digital magnification of the picture, 1.0..5.0.
    virtual void setDigitalZoomLevel(double level) = 0;
    virtual void redrawGuides() = 0;
    virtual void beep() = 0;
    virtual bool OSDIsVisible() const = 0;
    virtual void hideOnScreenDisplay() = 0;
    // The still picture goes and the live one shows again; called with the
    // freeze lock held, so the capture callback cannot slip a frame in.
    virtual void showLivePicture() = 0;
    // Turns and mirrors the live picture's preview.
    virtual void setPreviewOrientation(int orientation, bool mirrored) = 0;
    // A pending still is written now (the picture is frozen).
    virtual void finishSavingFreezeFrame() = 0;
};

// What the user sees, and the rules of every action on it: zoom and locating,
// freeze, the light, the camera's colour balance, the colour mode, turning
// and mirroring, the head position, the zoom buttons' mode, recording and
// mute. Each action updates the state, sends the camera its command, and
// runs the host's steps (picture, guides, save) in the order the action
// needs; observers learn of each change through the signals.
// Thread: main thread; only the freeze flags are shared with the capture
// callback, under the freeze lock.
class ViewerModel : public QObject {
    Q_OBJECT
public:
    ViewerModel(ViewerModelHost &host, QObject *parent = nullptr);

    // Where camera commands go; none means every command is refused.
    void setCameraCommandSender(CameraCommandSender *sender) { m_sender = sender; }

    // ---- Camera commands and light ----------------------------------------
    // A numbered command, as the internal menu sends it.
    void sendHidCommand(long command);
    void toggleLight();
    // The camera reported its light; nothing is sent.
    void setLightIsOn(bool on);
    bool lightIsOn() const { return m_lightIsOn; }
    // 0 normal, 1 cool, 2 warm; anything else is logged and changes nothing.
    void setColorBalanceMode(std::int64_t mode);
    std::int64_t colorBalanceMode() const { return m_colorBalanceMode; }

    // ---- Freeze ------------------------------------------------------------
    void freezeFrame();
    void unfreezeFrame();
    void freezeThaw();
    void saveFreezeFrame();
    bool isFrozen() const;
    bool waitingToFreeze() const;
    // The capture callback takes the pending freeze: true once per freeze.
    bool takeWaitingToFreeze();
    bool waitingToSave() const { return m_waitingToSave; }
    bool unfreezeWhenSaved() const { return m_unfreezeWhenSaved; }
    void setWaitingToSave(bool waiting) { m_waitingToSave = waiting; }
    void setUnfreezeWhenSaved(bool unfreeze) { m_unfreezeWhenSaved = unfreeze; }

    // ---- Recording and sound ---------------------------------------------------
    // Unfreezes first when a recording starts.
    void startStopRecording();
    bool isRecording() const { return m_isRecording; }
    void muteUnmute();
    bool isMuted() const { return m_isMuted; }
    void setShowingAudioLevelIndicator(bool showing);
    bool showingAudioLevelIndicator() const { return m_showingAudioLevelIndicator; }
    // The movie output's state as the menu and the overlay show it.
    void setRecording(bool recording);
    // Stored and sent to every output (nothing while muted).
    void setRecordingGain(double gain);
    double recordingGain() const { return m_recordingGain; }
    float effectiveAudioGain() const { return m_isMuted ? 0.0f : static_cast<float>(m_recordingGain); }
    // The meter's reading, 0 (empty) to 20 (0 dB).
    void setAudioLevel(float level);
    float audioLevel() const { return m_audioLevel; }
    // Whether any sound comes in at all; without it there is no meter.
    void setSoundInputPresent(bool present);
    bool soundInputPresent() const { return m_soundInputPresent; }

    // ---- Zoom and locating --------------------------------------------------------
    void zoomCameraIn();
    void zoomCameraOut();
    // Clamped to 1..16; the camera is sent its lens step on every call.
    void setZoomLevel(int level);
    int zoomLevel() const { return m_zoomLevel; }
    int savedZoomLevel() const { return m_savedZoomLevel; }
    void findZoomPositionEnter();
    void findZoomPositionExit();
    void findZoomPosition();
    // A pinch: gesture begin and end reset the running sum; each step adds
    // its magnification in zoom levels.
    void beginGesture();
    void magnify(double magnification);
    void endGesture();
    double zoomAccum() const { return m_zoomAccum; }

    // ---- Colour -----------------------------------------------------------------------
    void nextColorMode();
    // A colour menu item's tag: 1000 + index into the preferred list, or a
    // mode number.
    void setColorModeFromTag(int tag);
    void setChosenPreferredColorMode(std::int64_t index);
    void setChosenNonPreferredColorMode(std::uint64_t mode);
    // Loading the settings sets both at once.
    void setChosenPreferredColorModeAndNonPreferredMode(std::int64_t index, std::int64_t nonPreferredMode);
    void setPreferredColorModeIfApplicable();
    void setPreferredFilters(const std::vector<std::int64_t> &modes) { m_colour.preferredFilters = modes; }
    const video::ColourModeSelection &colourSelection() const { return m_colour; }
    // The mode on screen, repairing an index past the list's end.
    std::int64_t currentColorMode();
    bool isInInverseColorMode() const;

    // ---- Orientation and mirroring ----------------------------------------------------
    // What the preview can do; the capture session tells as it builds it.
    void setPreviewConnection(bool exists, bool supportsOrientation, bool supportsMirroring);
    // The next quarter turn: 1 -> 4 -> 2 -> 3 -> 1.
    void rotateWindowUIAction();
    void setVideoOrientation(int orientation);
    int videoOrientation() const { return m_videoOrientation; }
    void setVideoOrientationWhenFrozen(int orientation) { m_videoOrientationWhenFrozen = orientation; }
    int videoOrientationWhenFrozen() const { return m_videoOrientationWhenFrozen; }
    void mirrorScreenUIAction();
    void setIsMirrored(bool mirrored);
    bool isMirrored() const { return m_isMirrored; }
    // 0 document, 1 far, 2 self: saves the old position's settings and loads
    // the new one's; far and self always start in the normal colour mode.
    void setQuadrelPhysicalOrientation(long position);
    std::int64_t quadrelPhysicalOrientation() const { return m_quadrelPhysicalOrientation; }

    // ---- The zoom buttons' mode ----------------------------------------------------------
    void toggleZoomGuideSpacingMode();
    void toggleZoomGuidePositionMode();
    bool zoomScrollsGuides() const { return m_zoomScrollsGuides; }
    bool zoomChangesGuideSpacing() const { return m_zoomChangesGuideSpacing; }
    void setZoomScrollsGuides(bool value) { m_zoomScrollsGuides = value; }
    void setZoomChangesGuideSpacing(bool value) { m_zoomChangesGuideSpacing = value; }

    // ---- Battery ------------------------------------------------------------------------------
    // The level the next demonstration of the battery view shows: 3, 0, 1,
    // 2, 3, ... over the run.
    int nextBatteryDemonstrationLevel();

    // ---- Reading guides ------------------------------------------------------------------
    // The guides live in their overlay; the model only tells observers of
    // the user's change of an axis's guide mode.
    void guideModeChosen(bool horizontal, std::int32_t mode) { emit guideModeChanged(horizontal, mode); }

signals:
    void zoomLevelChanged(int level);
    void frozenChanged(bool frozen);
    void lightChanged(bool on);
    void colorBalanceChanged(std::int64_t mode);
    void colourModeChanged();
    void orientationChanged(int orientation);
    void mirroredChanged(bool mirrored);
    void recordingChanged(bool recording);
    void mutedChanged(bool muted);
    void audioLevelIndicatorChanged(bool showing);
    void audioGainChanged(float effectiveGain);
    void audioLevelChanged(float level);
    void soundInputChanged(bool present);
    void zoomButtonModeChanged();
    void guideModeChanged(bool horizontal, std::int32_t mode);

private:
    bool sendCommand(long command);
    bool acceptsPreferredColorModeIndex(std::int64_t index);
    void colorModeChosen();

    ViewerModelHost &m_host;
    CameraCommandSender *m_sender = nullptr;

    int m_zoomLevel = 1;
    int m_savedZoomLevel = 0;
    double m_zoomAccum = 0;
    mutable std::mutex m_freezeMutex;
    bool m_isFrozen = false;        // guarded by m_freezeMutex
    bool m_waitingToFreeze = false; // guarded by m_freezeMutex
    bool m_waitingToSave = false;
    bool m_unfreezeWhenSaved = false;
    bool m_lightIsOn = false;
    std::int64_t m_colorBalanceMode = 0;
    video::ColourModeSelection m_colour;
    int m_videoOrientation = 1;
    int m_videoOrientationWhenFrozen = 1;
    bool m_isMirrored = false;
    bool m_previewHasConnection = false;
    bool m_previewSupportsOrientation = false;
    bool m_previewSupportsMirroring = false;
    std::int64_t m_quadrelPhysicalOrientation = 0;
    bool m_zoomScrollsGuides = false;
    bool m_zoomChangesGuideSpacing = false;
    bool m_isRecording = false;
    bool m_isMuted = false;
    bool m_showingAudioLevelIndicator = false;
    double m_recordingGain = 1.0;
    float m_audioLevel = 0.0f;
    bool m_soundInputPresent = false;
    int m_batteryDemonstrationLevel = 2;
};

} // namespace kelvo::viewer
