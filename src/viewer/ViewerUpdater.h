#pragma once

#include "update/SoftwareUpdater.h"
#include "update/UpdateHost.h"
#include "viewer/UpdateQuestionAlerts.h"

namespace kelvo::viewer {

class MainWindowDelegate;

// The viewer controller's update state: owns the update check and its
// downloads and gives them the controller's settings, the camera's versions
// and the windows they touch.
// Thread: main thread.
class ViewerUpdater : public update::UpdateHost {
public:
    explicit ViewerUpdater(MainWindowDelegate &controller, update::UpdaterConfig config = {});

    update::SoftwareUpdater &updater() { return m_updater; }

    void loadPreferences() override;
    void savePreferences() override;
    bool firstLaunch() const override;
    settings::UpdateBookkeeping updateBookkeeping() const override;
    void setUpdateBookkeeping(const settings::UpdateBookkeeping &bookkeeping) override;
    std::optional<QString> configuredUpdateHost() const override;
    QString bundleVersion() const override;
    std::optional<QString> deviceFirmwareVersion() const override;
    bool deviceReady() const override;
    void resetStuckVideoDevice() override;
    void bringVideoWindowForward() override;
    bool displayReadyToUpdateAlert() override;

private:
    MainWindowDelegate &m_controller;
    UpdateQuestionAlerts m_questions;
    update::SoftwareUpdater m_updater;
};

} // namespace kelvo::viewer
