#pragma once

#include "app/AutoLaunchAgent.h"

namespace kelvo::app {

// The systemd user instance: running when its private socket exists in
// $XDG_RUNTIME_DIR/systemd, controlled with the systemctl found on PATH,
// started directly (no shell) and waited for.
// Thread: any; each call blocks until systemctl has ended.
class SystemdUserAgent final : public UserServiceManager {
public:
    bool isRunning(QString *whyNot) const override;
    std::optional<int> run(const QStringList &arguments, bool discardErrorOutput, QString *errorText) override;
};

} // namespace kelvo::app
