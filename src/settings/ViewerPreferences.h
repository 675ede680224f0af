#pragma once

#include "settings/PlistValue.h"
#include "settings/RectString.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

namespace kelvo::settings {

class SettingsStore;

// The model identifier of the Quadrel camera as the capture layer reports it.
inline constexpr char kQuadrelModelIdentifier[] = "UVC Camera VendorID_8236 ProductID_130";
// Height of the video window's title bar, in points.
inline constexpr double kTitleBarHeight = 22.0;
// The aspect ratio assumed while the picture's size is not known (zero or
// missing dimensions), so window geometry never divides by zero.
inline constexpr double kFallbackAspectRatio = 4.0 / 3.0;
// Colour modes are numbered 0 .. kColorModeCount - 1.
inline constexpr std::int64_t kColorModeCount = 31;

// Update and download bookkeeping of the update check, the downloads and the
// installation. "None" (an empty optional) removes the key when saved.
struct UpdateBookkeeping {
    PlistValue automaticUpdateFrequency = PlistValue::integer(1); // a number object
    PlistValue automaticUpdateBehavior = PlistValue::integer(0);  // a number object
    std::optional<QDateTime> lastCheckedForSoftwareUpdates;
    std::optional<QDateTime> lastCheckedForFirmwareUpdates;
    std::optional<QString> appVersionCurrentlyDownloading;
    std::optional<QString> appURLCurrentlyDownloading;
    std::optional<QString> deviceFirmwareVersionCurrentlyDownloading;
    std::optional<QString> deviceFirmwareURLCurrentlyDownloading;
    std::optional<QByteArray> appDownloadResumeData;
    std::optional<QByteArray> deviceFirmwareDownloadResumeData;
    std::optional<QString> appVersionReadyToInstall;
    std::optional<QString> deviceFirmwareVersionReadyToInstall;
    std::optional<QString> appDownloadExpectedChecksum;
    std::optional<QString> deviceFirmwareDownloadExpectedChecksum;

    bool operator==(const UpdateBookkeeping &) const = default;
};

// Every remembered value of the viewer, with the value a fresh install gets.
// Loading fills it from the store (defaulted and filtered); saving writes a
// snapshot of the controller's and the overlay's current values.
struct ViewerPreferences {
    // Global, read on every load.
    bool enableInternalFeatures = false; // read only, never written
    bool userHasSetPreferences = false;
    UpdateBookkeeping update;
    PlistValue automaticallyLaunchesOnDeviceAttach = PlistValue::boolean(true); // read for its boolean value
    // Global, read only when a camera is selected.
    std::vector<std::int64_t> preferredFilters;
    bool showingAudioLevelIndicator = true;
    std::uint8_t dockingInfo = 0; // the controller's isDocked byte
    // Per camera and head position.
    bool enableDeinterlacing = false;
    std::int64_t chosenPreferredColorMode = -1;
    std::int64_t chosenNonPreferredColorMode = 0;
    std::int32_t videoOrientation = 1;
    bool isMirrored = false;
    std::uint64_t lineWidth = 1; // the overlay's guide line width
    std::int32_t guideSeparation = 2;
    std::int32_t scrollPosition = 0;
    std::int32_t horizontalReadingGuideMode = 0;
    std::int32_t verticalReadingGuideMode = 0;
    std::int64_t colorBalanceMode = 0;
    std::int32_t zoomLevel = 1;

    bool operator==(const ViewerPreferences &) const = default;
};

// What loading and saving need to know about the viewer at that moment. The
// controller fills it from its own state.
struct PreferencesContext {
    std::int64_t quadrelPhysicalOrientation = 0; // head position 0, 1, 2
    // The selected video device's unique identifier; none while no video
    // device is selected.
    std::optional<QString> selectedVideoDeviceUniqueId;
    QString selectedVideoDeviceModelId;
    bool videoWindowExists = false;
    bool overlayExists = false;
    // isFullScreen, or a transition into or out of full screen is running.
    bool fullScreenOrTransitioning = false;
    double videoAspectRatio = 0;                  // currentVideoAspectRatio
    Rect mainScreenVisibleFrame;                  // for the default window frame
    Rect videoWindowFrame;                        // saved outside full screen
    Rect windowFrameBeforeEnteringFullScreenMode; // saved in full screen
};

// The steps a load applies, each through the controller's (or overlay's)
// ordinary setter, so their side effects happen. Listed in the one order
// that works: the scroll position after the separation (its clamp depends on
// it), the vertical guide mode after the horizontal (it clears it), the zoom
// late (it sends the camera its zoom).
enum class LoadStep {
    UnhideInternalFeaturesMenu, // only when EnableInternalFeatures is YES
    SetUserHasSetPreferences,   //
    MarkFirstLaunch,            // firstLaunch := YES; only when userHasSetPreferences is NO
    SetUpdateBookkeeping,       // the fourteen update properties, plain stores
    SetAutomaticallyLaunchesOnDeviceAttach,
    // The remaining steps run only with a camera identifier.
    SetPreferredFilters,
    SetEnableDeinterlacing,
    SetShowingAudioLevelIndicator,
    SetChosenPreferredColorModeAndNonPreferredMode,
    SetVideoOrientation,
    SetIsMirrored,
    SetLineWidth,
    SetGuideSeparation,
    SetScrollPosition,
    SetHorizontalReadingGuideMode,
    SetVerticalReadingGuideMode, // only when the stored vertical mode is not 0
    SetColorBalanceMode,
    SetZoomLevel,
    ReDockWithDockInfo,
    SetVideoWindowFrame, // only with a video window outside full screen and its transitions
};

// The outcome of reading the store: the values, already defaulted and
// filtered, and the setter steps to apply in order.
struct LoadPlan {
    ViewerPreferences preferences;
    std::vector<LoadStep> steps;
    // The camera identifier the per-camera values were read from; none when
    // no video device is selected and only the global update part was read.
    std::optional<QString> cameraIdentifier;
    // The sanitised frame for SetVideoWindowFrame.
    std::optional<Rect> windowFrame;

    bool isComplete() const { return cameraIdentifier.has_value(); }
};

// "%ld:%@" of the head position and the video device's unique identifier.
QString getCameraIdentifier(std::int64_t quadrelPhysicalOrientation, const QString &uniqueId);
// The identifier for the context, or none without a selected video device.
std::optional<QString> getCameraIdentifier(const PreferencesContext &context);

// width / height, or kFallbackAspectRatio when either is not positive.
double currentVideoAspectRatio(double width, double height);

// 400 wide, 50 points in from the top-left corner of the visible frame, high
// enough for the picture at aspectRatio plus the title bar.
Rect defaultFrameForPreferences(double aspectRatio, const Rect &visibleFrame, double titleBarHeight = kTitleBarHeight);
// Enlarges a frame narrower than the minimum window (300 points on the
// picture's shorter side); the origin never changes.
Rect sanitizeFrameFromPreferencesDictionary(const Rect &frame, double aspectRatio);

std::int32_t dockingStateIntForDockingInfo(std::uint8_t dockingInfo);
std::uint8_t dockingInfoForDockingStateInt(std::int32_t dockingState);

// Head position 1 (far) shows the picture turned; 0 (document) only on the
// Quadrel; 2 (self) mirrors.
std::int32_t defaultVideoOrientation(std::int64_t quadrelPhysicalOrientation, bool isQuadrelModel);
bool defaultMirrorMode(std::int64_t quadrelPhysicalOrientation);

// The stored preferred list as colour-mode numbers: in order, each element
// that is a whole number naming a colour mode (0..30) and not yet kept.
// Anything else (strings, booleans, duplicates, unknown modes) is dropped.
std::vector<std::int64_t> preferredFiltersFromValue(const std::optional<PlistValue> &stored);

// Reads the store as loadPreferences does, without touching the viewer.
LoadPlan readViewerPreferences(const SettingsStore &store, const PreferencesContext &context);

// Writes the keys of one part of a snapshot into the store (without
// synchronising). The update part: UserHasSetPreferences, the update and
// download bookkeeping and AppAutomaticallyLaunchesWhenDeviceDetected.
void writeUpdatePart(SettingsStore &store, const ViewerPreferences &snapshot);
// The view part: PreferredFilterList, AudioLevelIndicatorVisible,
// DockingState and WindowPosition (windowFrame).
void writeViewPart(SettingsStore &store, const ViewerPreferences &snapshot, const Rect &windowFrame);
// The camera's record, rebuilt from scratch under cameraIdentifier.
void writeCameraRecord(SettingsStore &store, const ViewerPreferences &snapshot, const QString &cameraIdentifier);

// The frame "WindowPosition" records: the window's own frame, or in full
// screen and its transitions the frame to return to.
Rect windowFrameForPreferences(const PreferencesContext &context);

} // namespace kelvo::settings
