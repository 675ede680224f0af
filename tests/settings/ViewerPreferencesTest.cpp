#include "settings/ViewerPreferences.h"
#include "SettingsTestSupport.h"
#include "common/SystemLog.h"
#include "settings/PreferenceKeys.h"
#include "settings/PreferencesKeeper.h"
#include "settings/PreferencesTarget.h"
#include "settings/SettingsStore.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <tuple>
#include <vector>

using namespace kelvo::settings;
using kelvo::settings::test::SettingsFolder;

namespace {

const QString kCameraId = QStringLiteral("usb-pci-0000:00:14.0-usb-0:2:1.0-QC0042");

QString k(const char *name)
{
    return QString::fromLatin1(name);
}

// Stands in for the viewer controller: keeps the state its setters store,
// saves after every setter the way the real setters do, and records which
// setters a load called, in order.
class FakeViewer : public PreferencesTarget {
public:
    explicit FakeViewer(SettingsStore &store) : keeper(store)
    {
        context.quadrelPhysicalOrientation = 0;
        context.selectedVideoDeviceUniqueId = kCameraId;
        context.selectedVideoDeviceModelId = k(kQuadrelModelIdentifier);
        context.videoWindowExists = true;
        context.overlayExists = true;
        context.videoAspectRatio = 4.0 / 3.0;
        context.mainScreenVisibleFrame = Rect{0, 0, 1440, 900};
        context.videoWindowFrame = Rect{100, 100, 640, 502};
    }

    void load() { keeper.loadPreferences(context, *this); }
    SaveOutcome save()
    {
        const SaveOutcome outcome = keeper.savePreferences(state, context);
        saveOutcomes.push_back(outcome);
        return outcome;
    }
    // The controller's setQuadrelPhysicalOrientation: save under the old
    // identifier, then load under the new one.
    void setQuadrelPhysicalOrientation(std::int64_t position)
    {
        save();
        context.quadrelPhysicalOrientation = position;
        load();
    }
    void selectVideoDevice(const QString &uniqueId, const QString &modelId)
    {
        context.selectedVideoDeviceUniqueId = uniqueId;
        context.selectedVideoDeviceModelId = modelId;
        load();
    }

    void unhideInternalFeaturesMenu() override { record("unhideInternalFeaturesMenu"), internalMenuShown = true; }
    void setUserHasSetPreferences(bool v) override
    {
        record("setUserHasSetPreferences"), state.userHasSetPreferences = v;
    }
    void setFirstLaunch(bool v) override { record("setFirstLaunch"), firstLaunch = v; }
    void setUpdateBookkeeping(const UpdateBookkeeping &u) override { record("setUpdateBookkeeping"), state.update = u; }
    void setAutomaticallyLaunchesOnDeviceAttach(const PlistValue &v) override
    {
        record("setAutomaticallyLaunchesOnDeviceAttach"), state.automaticallyLaunchesOnDeviceAttach = v;
    }
    void setPreferredFilters(const std::vector<std::int64_t> &v) override
    {
        record("setPreferredFilters"), state.preferredFilters = v;
    }
    void setEnableDeinterlacing(bool v) override
    {
        setterSaves("setEnableDeinterlacing"), state.enableDeinterlacing = v;
    }
    void setShowingAudioLevelIndicator(bool v) override
    {
        setterSaves("setShowingAudioLevelIndicator"), state.showingAudioLevelIndicator = v;
    }
    void setChosenPreferredColorMode(std::int64_t i, std::int64_t n) override
    {
        setterSaves("setChosenPreferredColorMode");
        state.chosenPreferredColorMode = i;
        state.chosenNonPreferredColorMode = n;
    }
    void setVideoOrientation(std::int32_t v) override
    {
        setterSaves("setVideoOrientation"), state.videoOrientation = v;
    }
    void setIsMirrored(bool v) override { setterSaves("setIsMirrored"), state.isMirrored = v; }
    void setLineWidth(std::uint64_t v) override { setterSaves("setLineWidth"), state.lineWidth = v; }
    void setGuideSeparation(std::int32_t v) override { setterSaves("setGuideSeparation"), state.guideSeparation = v; }
    void setScrollPosition(std::int32_t v) override { setterSaves("setScrollPosition"), state.scrollPosition = v; }
    void setHorizontalReadingGuideMode(std::int32_t v) override
    {
        setterSaves("setHorizontalReadingGuideMode");
        state.horizontalReadingGuideMode = v;
        state.verticalReadingGuideMode = 0;
    }
    void setVerticalReadingGuideMode(std::int32_t v) override
    {
        setterSaves("setVerticalReadingGuideMode");
        state.verticalReadingGuideMode = v;
        state.horizontalReadingGuideMode = 0;
    }
    void setColorBalanceMode(std::int64_t v) override
    {
        setterSaves("setColorBalanceMode"), state.colorBalanceMode = v;
    }
    void setZoomLevel(std::int32_t v) override { setterSaves("setZoomLevel"), state.zoomLevel = v; }
    void reDockWithDockInfo(std::uint8_t v) override { record("reDockWithDockInfo"), state.dockingInfo = v; }
    void setVideoWindowFrame(const Rect &frame) override
    {
        record("setVideoWindowFrame");
        context.videoWindowFrame = frame;
    }
    void setImageFilters() override { record("setImageFilters"); }
    void savePreferences() override { record("savePreferences"), save(); }
    void updateColorModeMenus() override { record("updateColorModeMenus"); }
    void clearDockedFlags() override { record("clearDockedFlags"), state.dockingInfo = 0; }

    PreferencesKeeper keeper;
    PreferencesContext context;
    ViewerPreferences state;
    bool firstLaunch = false;
    bool internalMenuShown = false;
    std::vector<std::string> calls;
    std::vector<SaveOutcome> saveOutcomes;

private:
    void record(const char *name) { calls.emplace_back(name); }
    void setterSaves(const char *name)
    {
        record(name);
        save();
    }
};

PlistDictionary fileContents(const SettingsFolder &folder)
{
    return SettingsStore(folder.settingsFile()).dictionaryRepresentation();
}

PlistDictionary record(const PlistDictionary &domain, const QString &identifier)
{
    const PlistValue *value = domain.objectForKey(identifier);
    return value && value->asDictionary() ? *value->asDictionary() : PlistDictionary();
}

QByteArray testData(const char *name)
{
    QFile file(qEnvironmentVariable("KELVO_TEST_DATA") + QStringLiteral("/settings/") + k(name));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << file.fileName().toStdString();
    return file.readAll();
}

} // namespace

TEST(SettingsViewerPreferences, AFreshInstallLoadsEveryDefaultInTheDescribedOrder)
{
    SettingsFolder folder;
    SettingsStore store(folder.settingsFile());
    FakeViewer viewer(store);
    viewer.load();

    const std::vector<std::string> expected = {"setUserHasSetPreferences",
                                               "setFirstLaunch",
                                               "setUpdateBookkeeping",
                                               "setAutomaticallyLaunchesOnDeviceAttach",
                                               "setPreferredFilters",
                                               "setEnableDeinterlacing",
                                               "setShowingAudioLevelIndicator",
                                               "setChosenPreferredColorMode",
                                               "setVideoOrientation",
                                               "setIsMirrored",
                                               "setLineWidth",
                                               "setGuideSeparation",
                                               "setScrollPosition",
                                               "setHorizontalReadingGuideMode",
                                               "setColorBalanceMode",
                                               "setZoomLevel",
                                               "reDockWithDockInfo",
                                               "setVideoWindowFrame",
                                               "setImageFilters",
                                               "savePreferences"};
    EXPECT_EQ(viewer.calls, expected);

    const ViewerPreferences &p = viewer.state;
    EXPECT_TRUE(p.preferredFilters.empty());
    EXPECT_TRUE(p.showingAudioLevelIndicator);
    EXPECT_EQ(p.automaticallyLaunchesOnDeviceAttach, PlistValue::boolean(true));
    EXPECT_EQ(p.update.automaticUpdateFrequency, PlistValue::integer(1));
    EXPECT_EQ(p.update.automaticUpdateBehavior, PlistValue::integer(0));
    EXPECT_FALSE(p.update.appVersionReadyToInstall.has_value());
    EXPECT_EQ(std::make_tuple(p.zoomLevel, p.guideSeparation, p.lineWidth, p.scrollPosition,
                              p.horizontalReadingGuideMode, p.verticalReadingGuideMode),
              std::make_tuple(1, 2, std::uint64_t(1), 0, 0, 0));
    EXPECT_EQ(std::make_tuple(p.chosenPreferredColorMode, p.chosenNonPreferredColorMode, p.colorBalanceMode),
              std::make_tuple(std::int64_t(-1), std::int64_t(0), std::int64_t(0)));
    EXPECT_EQ(p.videoOrientation, 2); // the Quadrel in document position
    EXPECT_FALSE(p.isMirrored);
    EXPECT_FALSE(p.enableDeinterlacing);
    EXPECT_EQ(p.dockingInfo, 0);
    EXPECT_TRUE(viewer.firstLaunch);
    EXPECT_EQ(viewer.context.videoWindowFrame, (Rect{50, 900 - 322 - 50, 400, 322}));

    // Every save a setter attempted during the load was suppressed; the one
    // at the end wrote the whole state.
    ASSERT_FALSE(viewer.saveOutcomes.empty());
    EXPECT_EQ(viewer.saveOutcomes.back(), SaveOutcome::Saved);
    for (std::size_t i = 0; i + 1 < viewer.saveOutcomes.size(); ++i)
        EXPECT_EQ(viewer.saveOutcomes[i], SaveOutcome::Skipped) << i;
    EXPECT_FALSE(viewer.keeper.loadingPreferences());
    const PlistDictionary domain = fileContents(folder);
    EXPECT_EQ(record(domain, k("0:") + kCameraId).intValueForKey(k("GuideSeparation"), 0), 2);
    EXPECT_EQ(*domain.objectForKey(k("WindowPosition")), PlistValue::string(k("{{50, 528}, {400, 322}}")));
}

TEST(SettingsViewerPreferences, InternalFeaturesVerticalGuidesAndFullScreenChangeTheSteps)
{
    SettingsFolder folder;
    folder.writeFile(test::plistWithDictionaryBody("<key>EnableInternalFeatures</key><true/>"
                                                   "<key>UserHasSetPreferences</key><true/>"
                                                   "<key>0:usb-pci-0000:00:14.0-usb-0:2:1.0-QC0042</key><dict>"
                                                   "<key>HorizontalGuidesMode</key><integer>1</integer>"
                                                   "<key>VerticalGuidesMode</key><integer>2</integer></dict>"));
    SettingsStore store(folder.settingsFile());
    FakeViewer viewer(store);
    viewer.context.fullScreenOrTransitioning = true;
    viewer.load();

    const auto &calls = viewer.calls;
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.front(), "unhideInternalFeaturesMenu");
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "setFirstLaunch"), 0);
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "setVideoWindowFrame"), 0);
    const auto horizontal = std::find(calls.begin(), calls.end(), "setHorizontalReadingGuideMode");
    ASSERT_NE(horizontal, calls.end());
    EXPECT_EQ(*(horizontal + 1), "setVerticalReadingGuideMode");
    // The vertical mode wins, and in full screen the frame to come back to is
    // what is stored.
    EXPECT_EQ(viewer.state.verticalReadingGuideMode, 2);
    EXPECT_EQ(viewer.state.horizontalReadingGuideMode, 0);
    viewer.context.windowFrameBeforeEnteringFullScreenMode = Rect{7, 8, 500, 397};
    EXPECT_EQ(viewer.save(), SaveOutcome::Saved);
    EXPECT_EQ(*fileContents(folder).objectForKey(k("WindowPosition")), PlistValue::string(k("{{7, 8}, {500, 397}}")));
}

TEST(SettingsViewerPreferences, StoredValuesOfTheWrongKindOrRangeYieldTheDefaults)
{
    SettingsFolder folder;
    folder.writeFile(testData("odd-values.plist"));
    SettingsStore store(folder.settingsFile());
    FakeViewer viewer(store);
    viewer.context.quadrelPhysicalOrientation = 2; // self: mirroring would default to YES
    viewer.load();
    const ViewerPreferences &p = viewer.state;

    EXPECT_FALSE(p.userHasSetPreferences); // integer 1 is not YES
    EXPECT_TRUE(viewer.firstLaunch);
    EXPECT_EQ(p.update.automaticUpdateFrequency, PlistValue::integer(1));
    EXPECT_EQ(p.update.automaticUpdateBehavior, PlistValue::real(2));
    EXPECT_EQ(p.update.lastCheckedForSoftwareUpdates, QDateTime(QDate(2026, 11, 30), QTime(8, 15), Qt::UTC));
    EXPECT_FALSE(p.update.lastCheckedForFirmwareUpdates.has_value());
    EXPECT_FALSE(p.update.appVersionReadyToInstall.has_value());
    EXPECT_FALSE(p.update.appDownloadResumeData.has_value());
    EXPECT_EQ(p.automaticallyLaunchesOnDeviceAttach, PlistValue::integer(0));
    EXPECT_EQ(p.preferredFilters, (std::vector<std::int64_t>{3, 7}));
    EXPECT_FALSE(p.showingAudioLevelIndicator);
    EXPECT_EQ(p.dockingInfo, 0xF2);
    EXPECT_FALSE(p.isMirrored);
    EXPECT_EQ(p.videoOrientation, 1);
    EXPECT_EQ(p.chosenNonPreferredColorMode, 0);
    EXPECT_EQ(p.chosenPreferredColorMode, 1);
    EXPECT_EQ(p.zoomLevel, 1);
    EXPECT_EQ(p.guideSeparation, 7);
    EXPECT_TRUE(p.enableDeinterlacing);
}

TEST(SettingsViewerPreferences, PreferredListKeepsDistinctColourModesInOrder)
{
    const auto list = [](PlistArray items) { return std::optional<PlistValue>(PlistValue::array(std::move(items))); };
    using V = PlistValue;
    struct Case {
        std::optional<PlistValue> stored;
        std::vector<std::int64_t> expected;
    };
    const Case cases[] = {
        {list({V::integer(3), V::string(k("x")), V::integer(3), V::integer(7)}), {3, 7}},
        {list({V::integer(30), V::integer(31), V::integer(-1), V::integer(0)}), {30, 0}},
        {list({V::boolean(true), V::real(5.0), V::real(2.5), V::integer(5), V::data("9")}), {5}},
        {V::integer(4), {}},
        {std::nullopt, {}},
    };
    for (const Case &c : cases)
        EXPECT_EQ(preferredFiltersFromValue(c.stored), c.expected);
}

TEST(SettingsViewerPreferences, OrientationAndMirroringDefaultByHeadPositionAndModel)
{
    struct Case {
        std::int64_t position;
        const char *model;
        std::int32_t orientation;
        bool mirrored;
    };
    const Case cases[] = {
        {0, kQuadrelModelIdentifier, 2, false},
        {0, "Integrated Webcam", 1, false},
        {1, "Integrated Webcam", 2, false},
        {2, kQuadrelModelIdentifier, 1, true},
    };
    for (const Case &c : cases) {
        SettingsFolder folder;
        SettingsStore store(folder.settingsFile());
        FakeViewer viewer(store);
        viewer.context.quadrelPhysicalOrientation = c.position;
        viewer.context.selectedVideoDeviceModelId = k(c.model);
        viewer.load();
        EXPECT_EQ(viewer.state.videoOrientation, c.orientation) << c.position << ' ' << c.model;
        EXPECT_EQ(viewer.state.isMirrored, c.mirrored) << c.position << ' ' << c.model;
    }
}

TEST(SettingsViewerPreferences, StoredWindowPositionIsSanitisedForThePicture)
{
    struct Case {
        const char *stored;
        double aspect;
        Rect expected;
    };
    const Case cases[] = {
        {"{{10, 20}, {200, 100}}", 4.0 / 3.0, {10, 20, 400, 300}},
        {"{{10, 20}, {200, 100}}", 3.0 / 4.0, {10, 20, 300, 400}},
        {"{{10, 20}, {640, 502}}", 4.0 / 3.0, {10, 20, 640, 502}},
        {"not a rectangle", 4.0 / 3.0, {0, 0, 400, 300}},
    };
    for (const Case &c : cases) {
        SettingsFolder folder;
        SettingsStore store(folder.settingsFile());
        store.setValue(k("WindowPosition"), PlistValue::string(k(c.stored)));
        FakeViewer viewer(store);
        viewer.context.videoAspectRatio = c.aspect;
        viewer.load();
        EXPECT_EQ(viewer.context.videoWindowFrame, c.expected) << c.stored << ' ' << c.aspect;
    }
}

TEST(SettingsViewerPreferences, EachHeadPositionKeepsItsOwnGuidesAndColours)
{
    SettingsFolder folder;
    SettingsStore store(folder.settingsFile());
    FakeViewer viewer(store);
    viewer.load();
    viewer.state.horizontalReadingGuideMode = 1;
    viewer.state.guideSeparation = 9;
    viewer.state.chosenNonPreferredColorMode = 4;
    viewer.state.colorBalanceMode = 1;

    viewer.setQuadrelPhysicalOrientation(1);
    EXPECT_EQ(viewer.state.horizontalReadingGuideMode, 0); // far has no record yet
    EXPECT_EQ(viewer.state.guideSeparation, 2);
    EXPECT_EQ(viewer.state.videoOrientation, 2);
    viewer.state.verticalReadingGuideMode = 2;
    viewer.state.chosenNonPreferredColorMode = 12;
    viewer.state.colorBalanceMode = 2;

    viewer.setQuadrelPhysicalOrientation(0);
    EXPECT_EQ(viewer.state.horizontalReadingGuideMode, 1);
    EXPECT_EQ(viewer.state.verticalReadingGuideMode, 0);
    EXPECT_EQ(viewer.state.guideSeparation, 9);
    EXPECT_EQ(viewer.state.chosenNonPreferredColorMode, 4);
    EXPECT_EQ(viewer.state.colorBalanceMode, 1);

    const PlistDictionary domain = fileContents(folder);
    const PlistDictionary document = record(domain, k("0:") + kCameraId);
    const PlistDictionary far = record(domain, k("1:") + kCameraId);
    EXPECT_EQ(document.intValueForKey(k("HorizontalGuidesMode"), -1), 1);
    EXPECT_EQ(document.integerValueForKey(k("ColorBalance"), -1), 1);
    EXPECT_EQ(far.intValueForKey(k("VerticalGuidesMode"), -1), 2);
    EXPECT_EQ(far.integerValueForKey(k("ChosenNonPreferredColorMode"), -1), 12);
    EXPECT_EQ(far.integerValueForKey(k("ColorBalance"), -1), 2);
}

TEST(SettingsViewerPreferences, VerticalWindowGuidesWarmBalanceAndEverythingElseSurviveARestart)
{
    SettingsFolder folder;
    ViewerPreferences saved;
    {
        SettingsStore store(folder.settingsFile());
        FakeViewer viewer(store);
        viewer.load();
        ViewerPreferences &s = viewer.state;
        s.verticalReadingGuideMode = 2;
        s.horizontalReadingGuideMode = 0;
        s.colorBalanceMode = 2;
        s.userHasSetPreferences = true;
        s.preferredFilters = {0, 5, 9};
        s.showingAudioLevelIndicator = false;
        s.dockingInfo = 17;
        s.enableDeinterlacing = true;
        s.chosenPreferredColorMode = 2;
        s.chosenNonPreferredColorMode = 9;
        s.videoOrientation = 3;
        s.isMirrored = true;
        s.lineWidth = 3;
        s.guideSeparation = 20;
        s.scrollPosition = -59;
        s.zoomLevel = 16;
        s.automaticallyLaunchesOnDeviceAttach = PlistValue::boolean(false);
        UpdateBookkeeping &u = s.update;
        u.automaticUpdateFrequency = PlistValue::integer(0);
        u.automaticUpdateBehavior = PlistValue::integer(2);
        u.lastCheckedForSoftwareUpdates = QDateTime(QDate(2026, 12, 1), QTime(9, 0, 1), Qt::UTC);
        u.lastCheckedForFirmwareUpdates = QDateTime(QDate(2026, 12, 2), QTime(10, 0, 2), Qt::UTC);
        u.appVersionCurrentlyDownloading = k("1.4");
        u.appURLCurrentlyDownloading = k("http://updates.example/app-1.4.zip");
        u.deviceFirmwareVersionCurrentlyDownloading = k("2.0");
        u.deviceFirmwareURLCurrentlyDownloading = k("http://updates.example/fw-2.0.bin");
        u.appDownloadResumeData = QByteArray("\0resume", 7);
        u.deviceFirmwareDownloadResumeData = QByteArray("fw");
        u.appVersionReadyToInstall = k("1.3");
        u.deviceFirmwareVersionReadyToInstall = k("1.9");
        u.appDownloadExpectedChecksum = QString(128, u'a');
        u.deviceFirmwareDownloadExpectedChecksum = QString(128, u'b');
        ASSERT_EQ(viewer.save(), SaveOutcome::Saved);
        saved = s;
    }
    SettingsStore store(folder.settingsFile());
    FakeViewer restarted(store);
    restarted.load();
    EXPECT_EQ(restarted.state, saved);
    EXPECT_EQ(std::count(restarted.calls.begin(), restarted.calls.end(), "setVerticalReadingGuideMode"), 1);
}

TEST(SettingsViewerPreferences, FactoryResetRemovesEveryKeyIncludingInternalFeatures)
{
    SettingsFolder folder;
    folder.writeFile(test::plistWithDictionaryBody("<key>EnableInternalFeatures</key><true/>"
                                                   "<key>PreferredFilterList</key><array><integer>4</integer></array>"
                                                   "<key>1:other-camera</key><dict/>"));
    {
        SettingsStore store(folder.settingsFile());
        FakeViewer viewer(store);
        viewer.load();
        EXPECT_TRUE(viewer.internalMenuShown);
        // Never written, but a save does not drop it either.
        EXPECT_TRUE(fileContents(folder).boolValueForKey(k("EnableInternalFeatures"), false));
        viewer.state.zoomLevel = 7;
        viewer.state.dockingInfo = 64;
        viewer.calls.clear();
        viewer.keeper.factoryReset(viewer.context, viewer);

        EXPECT_EQ(viewer.state.zoomLevel, 1);
        EXPECT_TRUE(viewer.state.preferredFilters.empty());
        const auto &calls = viewer.calls;
        ASSERT_GE(calls.size(), 3u);
        EXPECT_EQ(std::vector<std::string>(calls.end() - 3, calls.end()),
                  (std::vector<std::string>{"updateColorModeMenus", "clearDockedFlags", "savePreferences"}));
        const PlistDictionary domain = fileContents(folder);
        EXPECT_EQ(domain.objectForKey(k("EnableInternalFeatures")), nullptr);
        EXPECT_EQ(domain.objectForKey(k("1:other-camera")), nullptr);
        EXPECT_EQ(domain.intValueForKey(k("DockingState"), -1), 0);
    }
    SettingsStore store(folder.settingsFile());
    FakeViewer nextLaunch(store);
    nextLaunch.load();
    EXPECT_FALSE(nextLaunch.internalMenuShown);
}

TEST(SettingsViewerPreferences, GlobalKeysAreSavedWithoutACameraAndNothingUnloadedIsOverwritten)
{
    SettingsFolder folder;
    folder.writeFile(test::plistWithDictionaryBody("<key>PreferredFilterList</key><array><integer>5</integer>"
                                                   "<integer>9</integer></array>"
                                                   "<key>WindowPosition</key><string>{{1, 2}, {640, 502}}</string>"));
    SettingsStore store(folder.settingsFile());
    FakeViewer viewer(store);
    viewer.context.selectedVideoDeviceUniqueId.reset();
    viewer.load();
    EXPECT_TRUE(viewer.keeper.loadingPreferences()); // the camera's part is still to come
    EXPECT_EQ(std::count(viewer.calls.begin(), viewer.calls.end(), "setPreferredFilters"), 0);

    // A download finishes before any camera is selected.
    viewer.state.update.appVersionReadyToInstall = k("2.1");
    EXPECT_EQ(viewer.save(), SaveOutcome::SavedGlobalKeysOnly);

    const PlistDictionary domain = fileContents(folder);
    EXPECT_EQ(*domain.objectForKey(k("AppVersionReadyToInstall")), PlistValue::string(k("2.1")));
    EXPECT_EQ(preferredFiltersFromValue(domain.valueForKey(k("PreferredFilterList"), PlistClass::Array)),
              (std::vector<std::int64_t>{5, 9}));
    EXPECT_EQ(*domain.objectForKey(k("WindowPosition")), PlistValue::string(k("{{1, 2}, {640, 502}}")));
    for (const auto &entry : domain.entries())
        EXPECT_FALSE(entry.second.asDictionary()) << entry.first.toStdString();
}

TEST(SettingsViewerPreferences, ACameraRecordIsOnlyWrittenUnderTheIdentifierItWasLoadedFrom)
{
    SettingsFolder folder;
    SettingsStore store(folder.settingsFile());
    store.setValue(k("0:") + kCameraId, PlistValue::dictionary([] {
                       PlistDictionary d;
                       d.setValue(k("ZoomLevel"), PlistValue::integer(6));
                       d.setValue(k("Obsolete"), PlistValue::boolean(true));
                       return d;
                   }()));
    FakeViewer viewer(store);
    viewer.load();
    // The record was rebuilt by the save that ends the load.
    EXPECT_EQ(record(fileContents(folder), k("0:") + kCameraId).objectForKey(k("Obsolete")), nullptr);

    // Switched to another device, but its record not loaded yet: the values
    // in memory still belong to the first camera.
    viewer.context.selectedVideoDeviceUniqueId = k("webcam");
    EXPECT_EQ(viewer.save(), SaveOutcome::SavedGlobalKeysOnly);
    EXPECT_EQ(fileContents(folder).objectForKey(k("0:webcam")), nullptr);
    viewer.context.overlayExists = false;
    viewer.context.selectedVideoDeviceUniqueId = kCameraId;
    EXPECT_EQ(viewer.save(), SaveOutcome::SavedGlobalKeysOnly);
}

TEST(SettingsViewerPreferences, DeinterlacingIsRememberedPerCamera)
{
    SettingsFolder folder;
    SettingsStore store(folder.settingsFile());
    FakeViewer viewer(store);
    viewer.load();
    viewer.state.enableDeinterlacing = true;
    viewer.save();

    // Another device: deinterlacing is switched off and saved for it.
    viewer.selectVideoDevice(k("webcam"), k("Integrated Webcam"));
    EXPECT_FALSE(viewer.state.enableDeinterlacing);
    viewer.setEnableDeinterlacing(false);

    viewer.selectVideoDevice(kCameraId, k(kQuadrelModelIdentifier));
    EXPECT_TRUE(viewer.state.enableDeinterlacing);
}

TEST(SettingsViewerPreferences, AFailedFlushIsLogged)
{
    SettingsFolder folder;
    folder.writeFile("");
    // The settings folder would have to be created inside a plain file.
    SettingsStore store(folder.settingsFile() + k("/kelvo-viewer/com.morvane.KelvoViewer.plist"));
    FakeViewer viewer(store);
    kelvo::ScopedLogCapture log;
    viewer.load();
    EXPECT_EQ(viewer.saveOutcomes.back(), SaveOutcome::SynchronizationFailed);
    EXPECT_EQ(log.count("Synchronization failed.\n"), 1);
    EXPECT_EQ(viewer.state.zoomLevel, 1); // the viewer carries on
}
