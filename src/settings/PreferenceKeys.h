#pragma once

namespace kelvo::settings::keys {

// Global keys, stored directly in the domain, in the order they are loaded.
inline constexpr char kEnableInternalFeatures[] = "EnableInternalFeatures";
inline constexpr char kUserHasSetPreferences[] = "UserHasSetPreferences";
inline constexpr char kAutomaticUpdateFrequency[] = "AutomaticUpdateFrequency";
inline constexpr char kAutomaticUpdateBehavior[] = "AutomaticUpdateBehavior";
inline constexpr char kLastCheckedForSoftwareUpdates[] = "LastCheckedForSoftwareUpdates";
inline constexpr char kLastCheckedForFirmwareUpdates[] = "LastCheckedForFirmwareUpdates";
inline constexpr char kAppVersionCurrentlyDownloading[] = "AppVersionCurrentlyDownloading";
inline constexpr char kAppURLCurrentlyDownloading[] = "AppURLCurrentlyDownloading";
inline constexpr char kDeviceFirmwareVersionCurrentlyDownloading[] = "DeviceFirmwareVersionCurrentlyDownloading";
inline constexpr char kDeviceFirmwareURLCurrentlyDownloading[] = "DeviceFirmwareURLCurrentlyDownloading";
inline constexpr char kAppDownloadResumeData[] = "AppDownloadResumeData";
inline constexpr char kDeviceFirmwareDownloadResumeData[] = "DeviceFirmwareDownloadResumeData";
inline constexpr char kAppVersionReadyToInstall[] = "AppVersionReadyToInstall";
inline constexpr char kDeviceFirmwareVersionReadyToInstall[] = "DeviceFirmwareVersionReadyToInstall";
inline constexpr char kAppDownloadExpectedChecksum[] = "AppDownloadExpectedChecksum";
inline constexpr char kDeviceFirmwareDownloadExpectedChecksum[] = "DeviceFirmwareDownloadExpectedChecksum";
inline constexpr char kAppAutomaticallyLaunchesWhenDeviceDetected[] = "AppAutomaticallyLaunchesWhenDeviceDetected";
inline constexpr char kPreferredFilterList[] = "PreferredFilterList";
inline constexpr char kAudioLevelIndicatorVisible[] = "AudioLevelIndicatorVisible";
inline constexpr char kDockingState[] = "DockingState";
inline constexpr char kWindowPosition[] = "WindowPosition";
inline constexpr char kSpeakChanges[] = "SpeakChanges";
inline constexpr char kSpeechRate[] = "SpeechRate";
// The update host ("https://host[:port]"), for sites that mirror the updates;
// KELVO_UPDATE_HOST in the environment takes precedence. Read only.
inline constexpr char kUpdateHost[] = "UpdateHost";
// How the live picture is drawn: "gpu", "cpu" or "auto" (the default); the
// --render option takes precedence. Read only.
inline constexpr char kLiveRenderPath[] = "LiveRenderPath";

// Per-camera keys, inside the dictionary stored under the camera identifier,
// in the order they are loaded.
inline constexpr char kChosenPreferredColorMode[] = "ChosenPreferredColorMode";
inline constexpr char kChosenNonPreferredColorMode[] = "ChosenNonPreferredColorMode";
inline constexpr char kVideoOrientation[] = "VideoOrientation";
inline constexpr char kMirrorMode[] = "MirrorMode";
inline constexpr char kGuideLineWidth[] = "GuideLineWidth";
inline constexpr char kGuideSeparation[] = "GuideSeparation";
inline constexpr char kGuideLineScrollPosition[] = "GuideLineScrollPosition";
inline constexpr char kHorizontalGuidesMode[] = "HorizontalGuidesMode";
inline constexpr char kVerticalGuidesMode[] = "VerticalGuidesMode";
inline constexpr char kColorBalance[] = "ColorBalance";
inline constexpr char kZoomLevel[] = "ZoomLevel";
// Kept per camera: the switch is only offered for the Quadrel, and selecting
// any other device turns it off and saves; a global key would be overwritten
// with NO every time, while the camera's own record keeps its choice.
inline constexpr char kEnableVideoDeinterlacing[] = "EnableVideoDeinterlacing";

} // namespace kelvo::settings::keys
