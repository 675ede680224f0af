#pragma once

#include "viewer/VideoWindowHost.h"

#include <string>
#include <vector>

namespace kelvo::viewer::testing {

// Records, in order, which of the controller's steps the window placement
// asked for.
class FakeVideoWindowHost : public VideoWindowHost {
public:
    QSizeF picture{1280, 720};
    bool cameraSelected = true;
    bool preferencesSet = true;
    std::vector<std::string> calls;

    int count(const std::string &call) const
    {
        int n = 0;
        for (const std::string &c : calls)
            n += c == call;
        return n;
    }

    QSizeF videoDimensionsWithRotation() const override { return picture; }
    bool hasSelectedCamera() const override { return cameraSelected; }
    void loadPreferences() override { calls.push_back("loadPreferences"); }
    void refreshDevices() override { calls.push_back("refreshDevices"); }
    void initializeVideoCapture() override { calls.push_back("initializeVideoCapture"); }
    bool userHasSetPreferences() const override { return preferencesSet; }
    void setUserHasSetPreferences(bool value) override
    {
        preferencesSet = value;
        calls.push_back(value ? "setUserHasSetPreferences(true)" : "setUserHasSetPreferences(false)");
    }
    void showPreferencesWindow() override { calls.push_back("showPreferencesWindow"); }
    void checkForUpdates() override { calls.push_back("checkForUpdates"); }
    void savePreferences() override { calls.push_back("savePreferences"); }
    void setImageFilters() override { calls.push_back("setImageFilters"); }
    void beep() override { calls.push_back("beep"); }
    void showHideOnScreenDisplay() override { calls.push_back("showHideOnScreenDisplay"); }
    void hideOnScreenDisplay() override { calls.push_back("hideOnScreenDisplay"); }
    void fullScreenDidChange(bool isFullScreen) override
    {
        calls.push_back(isFullScreen ? "fullScreenDidChange(true)" : "fullScreenDidChange(false)");
    }
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

} // namespace kelvo::viewer::testing
