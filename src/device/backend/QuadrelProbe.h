#pragma once

#include <chrono>
#include <optional>

#include <QString>

class QTextStream;

namespace kelvo::device {

struct ProbeOptions {
    // How long to wait for the camera's identity reports after power-up.
    std::chrono::milliseconds identityTimeout{5000};
    // The udev rule that gives the user the camera's nodes.
    QString udevRulePath = QStringLiteral("/etc/udev/rules.d/70-kelvo-quadrel.rules");
    // The command an administrator can run to install the rule.
    QString administratorCommand;
    // Whether the rule is installed, where the caller knows better than
    // udevRulePath alone (a packaged rule in the system's own folder).
    std::optional<bool> ruleInstalled;
};

// kelvo-viewer --probe: finds the camera with the real scan (no window, no
// capture), powers it up through the send queue, waits for its identity
// reports and prints what it found: the mode (camera, firmware update), the
// four identity strings, and any access problem with its fix (the udev rule
// missing, no read/write access to the hidraw or usbfs node). Answers the
// exit status: 0 when a camera answered, 1 otherwise.
// Thread: the main thread; runs the Qt event loop while it waits (creates a
// QCoreApplication when none exists).
int runProbe(QTextStream &out, const ProbeOptions &options = {});

} // namespace kelvo::device
