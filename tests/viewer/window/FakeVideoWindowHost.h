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
    void refreshDevices() override { calls.push_back("refreshDevices"); }
    void savePreferences() override { calls.push_back("savePreferences"); }
    void setImageFilters() override { calls.push_back("setImageFilters"); }
    void beep() override { calls.push_back("beep"); }
    void showHideOnScreenDisplay() override { calls.push_back("showHideOnScreenDisplay"); }
    void hideOnScreenDisplay() override { calls.push_back("hideOnScreenDisplay"); }
    void fullScreenDidChange(bool isFullScreen) override
    {
        calls.push_back(isFullScreen ? "fullScreenDidChange(true)" : "fullScreenDidChange(false)");
    }
};

} // namespace kelvo::viewer::testing
