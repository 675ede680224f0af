#include "settings/ViewerPreferences.h"

#include "settings/PreferenceKeys.h"
#include "settings/SettingsStore.h"

#include <algorithm>
#include <cmath>

namespace kelvo::settings {
namespace {

QString key(const char *name)
{
    return QString::fromLatin1(name);
}

double usableAspectRatio(double aspectRatio)
{
    return std::isfinite(aspectRatio) && aspectRatio > 0 ? aspectRatio : kFallbackAspectRatio;
}

std::optional<QString> stringValue(const SettingsStore &store, const char *name)
{
    const auto value = store.valueForKey(key(name), PlistClass::String);
    return value ? std::optional<QString>(*value->asString()) : std::nullopt;
}

std::optional<QDateTime> dateValue(const SettingsStore &store, const char *name)
{
    const auto value = store.valueForKey(key(name), PlistClass::Date);
    return value ? std::optional<QDateTime>(*value->asDate()) : std::nullopt;
}

std::optional<QByteArray> dataValue(const SettingsStore &store, const char *name)
{
    const auto value = store.valueForKey(key(name), PlistClass::Data);
    return value ? std::optional<QByteArray>(*value->asData()) : std::nullopt;
}

template <typename T, typename Make>
void setOptional(SettingsStore &store, const char *name, const std::optional<T> &value, Make make)
{
    store.setObject(key(name), value ? std::optional<PlistValue>(make(*value)) : std::nullopt);
}

} // namespace

QString getCameraIdentifier(std::int64_t quadrelPhysicalOrientation, const QString &uniqueId)
{
    return QString::number(quadrelPhysicalOrientation) + QLatin1Char(':') + uniqueId;
}

std::optional<QString> getCameraIdentifier(const PreferencesContext &context)
{
    if (!context.selectedVideoDeviceUniqueId)
        return std::nullopt;
    return getCameraIdentifier(context.quadrelPhysicalOrientation, *context.selectedVideoDeviceUniqueId);
}

double currentVideoAspectRatio(double width, double height)
{
    if (!(width > 0) || !(height > 0))
        return kFallbackAspectRatio;
    return usableAspectRatio(width / height);
}

Rect defaultFrameForPreferences(double aspectRatio, const Rect &visibleFrame, double titleBarHeight)
{
    const double r = usableAspectRatio(aspectRatio);
    const double height = 400.0 / r + titleBarHeight;
    return Rect{visibleFrame.x + 50.0, visibleFrame.y + visibleFrame.height - height - 50.0, 400.0, height};
}

Rect sanitizeFrameFromPreferencesDictionary(const Rect &frame, double aspectRatio)
{
    const double r = usableAspectRatio(aspectRatio);
    Rect result = frame;
    if (r < 1.0) {
        if (frame.width < 300.0) {
            result.width = 300.0;
            result.height = 300.0 / r;
        }
    } else if (frame.width < 300.0 * r) {
        result.width = 300.0 * r;
        result.height = 300.0;
    }
    return result;
}

std::int32_t dockingStateIntForDockingInfo(std::uint8_t dockingInfo)
{
    return static_cast<std::int32_t>(dockingInfo);
}

std::uint8_t dockingInfoForDockingStateInt(std::int32_t dockingState)
{
    return static_cast<std::uint8_t>(dockingState & 0xFF);
}

std::int32_t defaultVideoOrientation(std::int64_t quadrelPhysicalOrientation, bool isQuadrelModel)
{
    if (quadrelPhysicalOrientation == 1)
        return 2;
    if (quadrelPhysicalOrientation != 0)
        return 1;
    return isQuadrelModel ? 2 : 1;
}

bool defaultMirrorMode(std::int64_t quadrelPhysicalOrientation)
{
    return quadrelPhysicalOrientation == 2;
}

std::vector<std::int64_t> preferredFiltersFromValue(const std::optional<PlistValue> &stored)
{
    std::vector<std::int64_t> kept;
    const PlistArray *array = stored ? stored->asArray() : nullptr;
    if (!array)
        return kept;
    for (const PlistValue &element : *array) {
        std::int64_t mode = 0;
        if (element.kind() == PlistKind::Integer) {
            mode = element.integerValue();
        } else if (element.kind() == PlistKind::Real && std::isfinite(element.doubleValue()) &&
                   std::trunc(element.doubleValue()) == element.doubleValue()) {
            mode = element.integerValue();
        } else {
            continue;
        }
        // An unknown mode would later index past the colour-mode tables.
        if (mode < 0 || mode >= kColorModeCount)
            continue;
        if (std::find(kept.begin(), kept.end(), mode) == kept.end())
            kept.push_back(mode);
    }
    return kept;
}

LoadPlan readViewerPreferences(const SettingsStore &store, const PreferencesContext &context)
{
    using namespace keys;
    LoadPlan plan;
    ViewerPreferences &p = plan.preferences;
    std::vector<LoadStep> &steps = plan.steps;

    p.enableInternalFeatures = store.boolValueForKey(key(kEnableInternalFeatures), false);
    if (p.enableInternalFeatures)
        steps.push_back(LoadStep::UnhideInternalFeaturesMenu);

    p.userHasSetPreferences = store.boolValueForKey(key(kUserHasSetPreferences), false);
    steps.push_back(LoadStep::SetUserHasSetPreferences);
    if (!p.userHasSetPreferences)
        steps.push_back(LoadStep::MarkFirstLaunch);

    UpdateBookkeeping &u = p.update;
    u.automaticUpdateFrequency =
        *store.valueForKey(key(kAutomaticUpdateFrequency), PlistClass::Number, PlistValue::integer(1));
    u.automaticUpdateBehavior =
        *store.valueForKey(key(kAutomaticUpdateBehavior), PlistClass::Number, PlistValue::integer(0));
    u.lastCheckedForSoftwareUpdates = dateValue(store, kLastCheckedForSoftwareUpdates);
    u.lastCheckedForFirmwareUpdates = dateValue(store, kLastCheckedForFirmwareUpdates);
    u.appVersionCurrentlyDownloading = stringValue(store, kAppVersionCurrentlyDownloading);
    u.appURLCurrentlyDownloading = stringValue(store, kAppURLCurrentlyDownloading);
    u.deviceFirmwareVersionCurrentlyDownloading = stringValue(store, kDeviceFirmwareVersionCurrentlyDownloading);
    u.deviceFirmwareURLCurrentlyDownloading = stringValue(store, kDeviceFirmwareURLCurrentlyDownloading);
    u.appDownloadResumeData = dataValue(store, kAppDownloadResumeData);
    u.deviceFirmwareDownloadResumeData = dataValue(store, kDeviceFirmwareDownloadResumeData);
    u.appVersionReadyToInstall = stringValue(store, kAppVersionReadyToInstall);
    u.deviceFirmwareVersionReadyToInstall = stringValue(store, kDeviceFirmwareVersionReadyToInstall);
    u.appDownloadExpectedChecksum = stringValue(store, kAppDownloadExpectedChecksum);
    u.deviceFirmwareDownloadExpectedChecksum = stringValue(store, kDeviceFirmwareDownloadExpectedChecksum);
    steps.push_back(LoadStep::SetUpdateBookkeeping);
    p.automaticallyLaunchesOnDeviceAttach = *store.valueForKey(key(kAppAutomaticallyLaunchesWhenDeviceDetected),
                                                               PlistClass::Number, PlistValue::boolean(true));
    steps.push_back(LoadStep::SetAutomaticallyLaunchesOnDeviceAttach);

    const std::optional<QString> identifier = getCameraIdentifier(context);
    if (!identifier)
        return plan;
    plan.cameraIdentifier = identifier;

    const std::optional<PlistValue> record = store.valueForKey(*identifier, PlistClass::Dictionary);
    const PlistDictionary camera = record ? *record->asDictionary() : PlistDictionary();

    p.preferredFilters = preferredFiltersFromValue(store.valueForKey(key(kPreferredFilterList), PlistClass::Array));
    steps.push_back(LoadStep::SetPreferredFilters);

    const bool isQuadrel = context.selectedVideoDeviceModelId == QLatin1String(kQuadrelModelIdentifier);

    p.enableDeinterlacing = camera.boolValueForKey(key(kEnableVideoDeinterlacing), false);
    steps.push_back(LoadStep::SetEnableDeinterlacing);

    p.showingAudioLevelIndicator = store.boolValueForKey(key(kAudioLevelIndicatorVisible), true);
    steps.push_back(LoadStep::SetShowingAudioLevelIndicator);

    p.chosenPreferredColorMode = camera.integerValueForKey(key(kChosenPreferredColorMode), -1);
    p.chosenNonPreferredColorMode = camera.integerValueForKey(key(kChosenNonPreferredColorMode), 0);
    // The loading setter takes this mode unchecked; an unknown one would
    // index past the colour-mode tables.
    if (p.chosenNonPreferredColorMode < 0 || p.chosenNonPreferredColorMode >= kColorModeCount)
        p.chosenNonPreferredColorMode = 0;
    steps.push_back(LoadStep::SetChosenPreferredColorModeAndNonPreferredMode);

    const std::int32_t orientationDefault = defaultVideoOrientation(context.quadrelPhysicalOrientation, isQuadrel);
    p.videoOrientation = camera.intValueForKey(key(kVideoOrientation), orientationDefault);
    // The orientation goes to the capture connection unchecked; only 1..4
    // name a picture orientation.
    if (p.videoOrientation < 1 || p.videoOrientation > 4)
        p.videoOrientation = orientationDefault;
    steps.push_back(LoadStep::SetVideoOrientation);

    p.isMirrored = camera.boolValueForKey(key(kMirrorMode), defaultMirrorMode(context.quadrelPhysicalOrientation));
    steps.push_back(LoadStep::SetIsMirrored);

    p.lineWidth = static_cast<std::uint64_t>(camera.integerValueForKey(key(kGuideLineWidth), 1));
    steps.push_back(LoadStep::SetLineWidth);
    p.guideSeparation = camera.intValueForKey(key(kGuideSeparation), 2);
    steps.push_back(LoadStep::SetGuideSeparation);
    p.scrollPosition = camera.intValueForKey(key(kGuideLineScrollPosition), 0);
    steps.push_back(LoadStep::SetScrollPosition);
    p.horizontalReadingGuideMode = camera.intValueForKey(key(kHorizontalGuidesMode), 0);
    steps.push_back(LoadStep::SetHorizontalReadingGuideMode);
    p.verticalReadingGuideMode = camera.intValueForKey(key(kVerticalGuidesMode), 0);
    if (p.verticalReadingGuideMode != 0)
        steps.push_back(LoadStep::SetVerticalReadingGuideMode);

    p.colorBalanceMode = camera.integerValueForKey(key(kColorBalance), 0);
    steps.push_back(LoadStep::SetColorBalanceMode);
    p.zoomLevel = camera.intValueForKey(key(kZoomLevel), 1);
    steps.push_back(LoadStep::SetZoomLevel);

    p.dockingInfo = dockingInfoForDockingStateInt(store.intValueForKey(key(kDockingState), 0));
    steps.push_back(LoadStep::ReDockWithDockInfo);

    if (context.videoWindowExists && !context.fullScreenOrTransitioning) {
        const Rect defaultFrame = defaultFrameForPreferences(context.videoAspectRatio, context.mainScreenVisibleFrame);
        const std::optional<PlistValue> text = store.valueForKey(key(kWindowPosition), PlistClass::String,
                                                                 PlistValue::string(stringFromRect(defaultFrame)));
        plan.windowFrame =
            sanitizeFrameFromPreferencesDictionary(rectFromString(*text->asString()), context.videoAspectRatio);
        steps.push_back(LoadStep::SetVideoWindowFrame);
    }
    return plan;
}

void writeUpdatePart(SettingsStore &store, const ViewerPreferences &snapshot)
{
    using namespace keys;
    const UpdateBookkeeping &u = snapshot.update;
    const auto string = [](const QString &s) { return PlistValue::string(s); };
    const auto data = [](const QByteArray &d) { return PlistValue::data(d); };
    const auto date = [](const QDateTime &d) { return PlistValue::date(d); };

    store.setValue(key(kUserHasSetPreferences), PlistValue::boolean(snapshot.userHasSetPreferences));
    store.setValue(key(kAutomaticUpdateFrequency), u.automaticUpdateFrequency);
    store.setValue(key(kAutomaticUpdateBehavior), u.automaticUpdateBehavior);
    setOptional(store, kAppVersionCurrentlyDownloading, u.appVersionCurrentlyDownloading, string);
    setOptional(store, kAppURLCurrentlyDownloading, u.appURLCurrentlyDownloading, string);
    setOptional(store, kDeviceFirmwareVersionCurrentlyDownloading, u.deviceFirmwareVersionCurrentlyDownloading, string);
    setOptional(store, kDeviceFirmwareURLCurrentlyDownloading, u.deviceFirmwareURLCurrentlyDownloading, string);
    setOptional(store, kAppDownloadResumeData, u.appDownloadResumeData, data);
    setOptional(store, kDeviceFirmwareDownloadResumeData, u.deviceFirmwareDownloadResumeData, data);
    setOptional(store, kAppVersionReadyToInstall, u.appVersionReadyToInstall, string);
    setOptional(store, kDeviceFirmwareVersionReadyToInstall, u.deviceFirmwareVersionReadyToInstall, string);
    setOptional(store, kAppDownloadExpectedChecksum, u.appDownloadExpectedChecksum, string);
    setOptional(store, kDeviceFirmwareDownloadExpectedChecksum, u.deviceFirmwareDownloadExpectedChecksum, string);
    setOptional(store, kLastCheckedForSoftwareUpdates, u.lastCheckedForSoftwareUpdates, date);
    setOptional(store, kLastCheckedForFirmwareUpdates, u.lastCheckedForFirmwareUpdates, date);
    store.setValue(key(kAppAutomaticallyLaunchesWhenDeviceDetected), snapshot.automaticallyLaunchesOnDeviceAttach);
}

void writeViewPart(SettingsStore &store, const ViewerPreferences &snapshot, const Rect &windowFrame)
{
    using namespace keys;
    PlistArray filters;
    for (std::int64_t mode : snapshot.preferredFilters)
        filters.push_back(PlistValue::integer(mode));
    store.setValue(key(kPreferredFilterList), PlistValue::array(std::move(filters)));
    store.setValue(key(kAudioLevelIndicatorVisible), PlistValue::boolean(snapshot.showingAudioLevelIndicator));
    store.setValue(key(kDockingState), PlistValue::integer(dockingStateIntForDockingInfo(snapshot.dockingInfo)));
    store.setValue(key(kWindowPosition), PlistValue::string(stringFromRect(windowFrame)));
}

void writeCameraRecord(SettingsStore &store, const ViewerPreferences &snapshot, const QString &cameraIdentifier)
{
    using namespace keys;
    // Rebuilt from nothing, so keys no longer written disappear.
    PlistDictionary camera;
    camera.setValue(key(kChosenPreferredColorMode), PlistValue::integer(snapshot.chosenPreferredColorMode));
    camera.setValue(key(kChosenNonPreferredColorMode), PlistValue::integer(snapshot.chosenNonPreferredColorMode));
    camera.setValue(key(kVideoOrientation), PlistValue::integer(snapshot.videoOrientation));
    camera.setValue(key(kMirrorMode), PlistValue::boolean(snapshot.isMirrored));
    camera.setValue(key(kGuideLineWidth), PlistValue::integer(static_cast<std::int64_t>(snapshot.lineWidth)));
    camera.setValue(key(kGuideSeparation), PlistValue::integer(snapshot.guideSeparation));
    camera.setValue(key(kGuideLineScrollPosition), PlistValue::integer(snapshot.scrollPosition));
    camera.setValue(key(kHorizontalGuidesMode), PlistValue::integer(snapshot.horizontalReadingGuideMode));
    camera.setValue(key(kVerticalGuidesMode), PlistValue::integer(snapshot.verticalReadingGuideMode));
    camera.setValue(key(kColorBalance), PlistValue::integer(snapshot.colorBalanceMode));
    camera.setValue(key(kZoomLevel), PlistValue::integer(snapshot.zoomLevel));
    camera.setValue(key(kEnableVideoDeinterlacing), PlistValue::boolean(snapshot.enableDeinterlacing));
    store.setValue(cameraIdentifier, PlistValue::dictionary(std::move(camera)));
}

Rect windowFrameForPreferences(const PreferencesContext &context)
{
    return context.fullScreenOrTransitioning ? context.windowFrameBeforeEnteringFullScreenMode
                                             : context.videoWindowFrame;
}

} // namespace kelvo::settings
