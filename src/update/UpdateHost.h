#pragma once

#include "settings/ViewerPreferences.h"

#include <QString>

#include <optional>

namespace kelvo::update {

// The viewer controller as the update check and the downloads see it: the
// update bookkeeping it keeps and saves with the rest of its settings, the
// versions to compare, and the few actions a check ends in. The viewer
// implements it; tests give a scripted one.
// Thread: main thread only.
class UpdateHost {
public:
    virtual ~UpdateHost() = default;

    // Re-reads the settings, which re-applies the viewer's state and the
    // update bookkeeping.
    virtual void loadPreferences() = 0;
    // Writes the whole state, the bookkeeping included, and flushes it.
    virtual void savePreferences() = 0;
    // The settings had never been written when they were loaded in this run.
    virtual bool firstLaunch() const = 0;
    virtual settings::UpdateBookkeeping updateBookkeeping() const = 0;
    virtual void setUpdateBookkeeping(const settings::UpdateBookkeeping &bookkeeping) = 0;
    // The update host a user or administrator configured in the settings.
    virtual std::optional<QString> configuredUpdateHost() const = 0;

    // The running application's own version.
    virtual QString bundleVersion() const = 0;
    // The camera's firmware version; none until the camera has reported it.
    virtual std::optional<QString> deviceFirmwareVersion() const = 0;
    // The camera has reported both its firmware and its boot firmware version.
    virtual bool deviceReady() const = 0;

    // Resets a camera whose video stream got stuck.
    virtual void resetStuckVideoDevice() = 0;
    // Brings the video window back to the front when it is visible and the
    // preferences window is not: questions may have covered it.
    virtual void bringVideoWindowForward() = 0;
    // Hands a verified, newer firmware image over to the firmware update
    // flow; answers whether the flow took it.
    virtual bool displayReadyToUpdateAlert() = 0;
};

} // namespace kelvo::update
