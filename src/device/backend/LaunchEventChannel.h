#pragma once

#include <functional>
#include <memory>

#include <QString>

#include "device/DeviceAttachHandler.h"

class QLocalServer;

namespace kelvo::device {

// Carries a device-attach event from a second launch of the viewer to the
// one already running, over a local socket that only this user can reach.
// The running viewer listens (tellLaunchDaemonNotToRestartUs); a new launch
// first tries handOffToRunningInstance() and exits when it was taken.
// Wire format: one line "<service ID> <text>\n", answered "OK\n".
// Thread: the main thread (the server delivers events there).
class LaunchEventChannel {
public:
    // The socket name for this user.
    static QString defaultServerName();

    explicit LaunchEventChannel(QString serverName = defaultServerName());
    ~LaunchEventChannel();
    LaunchEventChannel(const LaunchEventChannel &) = delete;
    LaunchEventChannel &operator=(const LaunchEventChannel &) = delete;

    // Starts listening; each event received is passed to deliver. False when
    // another running viewer already listens or the socket cannot be made.
    bool listen(std::function<void(const AttachEvent &)> deliver);
    bool isListening() const;

    // Client side: hands the event to a running viewer. True only when one
    // took it (answered within timeoutMs).
    static bool handOffToRunningInstance(const AttachEvent &event, const QString &serverName = defaultServerName(),
                                         int timeoutMs = 2000);

    // Longest line accepted; longer input is dropped unanswered.
    static constexpr int kMaxLineBytes = 4096;

private:
    const QString m_serverName;
    std::unique_ptr<QLocalServer> m_server;
    std::function<void(const AttachEvent &)> m_deliver;
};

} // namespace kelvo::device
