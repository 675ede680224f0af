#include "app/ViewerLifecycle.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

using namespace kelvo::app;

namespace {

// Writes down the steps in the order the sequence takes them.
struct RecordingSteps final : ViewerLifecycleSteps {
    bool preferencesSet = true;
    std::vector<std::string> calls;
    void loadPreferences() override { calls.push_back("loadPreferences"); }
    void prepareVideoWindow() override { calls.push_back("prepareVideoWindow"); }
    void refreshDevices() override { calls.push_back("refreshDevices"); }
    void bringVideoWindowForward() override { calls.push_back("bringVideoWindowForward"); }
    void initializeVideoCapture() override { calls.push_back("initializeVideoCapture"); }
    bool userHasSetPreferences() const override { return preferencesSet; }
    void setUserHasSetPreferences(bool value) override
    {
        preferencesSet = value;
        calls.push_back(value ? "setUserHasSetPreferences(true)" : "setUserHasSetPreferences(false)");
    }
    void savePreferences() override { calls.push_back("savePreferences"); }
    void showPreferencesWindow() override { calls.push_back("showPreferencesWindow"); }
    void checkForUpdates() override { calls.push_back("checkForUpdates"); }
    void stopAudioLevelTimer() override { calls.push_back("stopAudioLevelTimer"); }
    void stopCaptureSession() override { calls.push_back("stopCaptureSession"); }
    void detachMovieOutputDelegate() override { calls.push_back("detachMovieOutputDelegate"); }
    void removeNotificationObservers() override { calls.push_back("removeNotificationObservers"); }
    void cleanupVideoCapture() override { calls.push_back("cleanupVideoCapture"); }
    void setLineMarkerMenuEnabled(bool enabled) override
    {
        calls.push_back(enabled ? "setLineMarkerMenuEnabled(true)" : "setLineMarkerMenuEnabled(false)");
    }
};

} // namespace

// Settings come before the window is laid out, the window before the
// capture, and the first launch's preferences are marked as shown (and
// saved) before they open, so a crash there never asks again and again.
TEST(ViewerLifecycle, StartUpAndClosingRunTheirStepsInOrder)
{
    for (bool firstLaunch : {false, true}) {
        RecordingSteps steps;
        steps.preferencesSet = !firstLaunch;
        runStartUp(steps);
        std::vector<std::string> expected = {"loadPreferences", "prepareVideoWindow", "refreshDevices",
                                             "bringVideoWindowForward", "initializeVideoCapture"};
        if (firstLaunch)
            expected.insert(expected.end(),
                            {"setUserHasSetPreferences(true)", "savePreferences", "showPreferencesWindow"});
        expected.push_back("checkForUpdates");
        EXPECT_EQ(steps.calls, expected) << "first launch " << firstLaunch;
    }

    RecordingSteps steps;
    runClosing(steps);
    EXPECT_EQ(steps.calls, (std::vector<std::string>{"stopAudioLevelTimer", "stopCaptureSession",
                                                     "detachMovieOutputDelegate", "removeNotificationObservers",
                                                     "cleanupVideoCapture", "setLineMarkerMenuEnabled(false)"}));
}
