#pragma once

#include "app/InstallLocation.h"
#include "ui/PreferencesWindow.h"

#include <functional>

namespace kelvo::viewer {
class MainWindowDelegate;
}

namespace kelvo::app {

// Binds the preferences window to the viewer controller's settings and to
// the auto-launch agent, which the controller knows nothing of.
// Thread: main thread.
class PreferencesBinding final : public ui::PreferencesWindowController {
public:
    // reloadAutoLaunch unregisters the auto-launch unit and registers it
    // again when its argument (the user's choice) is true.
    PreferencesBinding(viewer::MainWindowDelegate &controller, std::function<void(bool wanted)> reloadAutoLaunch,
                       InstallLocation location);

    std::vector<std::int64_t> preferredFilters() const override;
    void commitPreferredFilters(const std::vector<std::int64_t> &modes) override;
    std::int64_t automaticUpdateFrequency() const override;
    void setAutomaticUpdateFrequency(std::int64_t frequency) override;
    std::int64_t automaticUpdateBehavior() const override;
    void setAutomaticUpdateBehavior(std::int64_t behavior) override;
    bool automaticallyLaunchesOnDeviceAttach() const override;
    void setAutomaticallyLaunchesOnDeviceAttach(bool launches) override;
    UpdateLocation updateLocation() const override;
    std::int64_t speakChanges() const override;
    std::int64_t speechRate() const override;
    void setSpeech(std::int64_t mode, std::int64_t rate) override;

private:
    viewer::MainWindowDelegate &m_controller;
    std::function<void(bool)> m_reloadAutoLaunch;
    InstallLocation m_location;
};

} // namespace kelvo::app
