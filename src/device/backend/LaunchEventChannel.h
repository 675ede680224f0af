#pragma once

#include <functional>
#include <memory>

#include <QString>

#include "device/DeviceAttachHandler.h"

namespace kelvo::device {

// Keeps one viewer per user and carries a device-attach event from a second
// launch to it. The viewer that runs is the one holding an flock(2) lock on
// "<name>.lock"; it listens on the socket "<name>" next to it. Both live in
// $XDG_RUNTIME_DIR, or in a folder "kelvo-viewer-<uid>" under the temporary
// folder that this user owns and nobody else may enter; a name that is an
// absolute path is used as it is. Each end checks that the other runs as the
// same user (SO_PEERCRED).
// Wire format: one line "<service ID> <text>\n", answered "OK\n".
// Thread: the main thread (the listener delivers events there).
class LaunchEventChannel {
public:
    // The socket name of the viewer.
    static QString defaultServerName();
    // Where a name's socket lives: the name itself when absolute, otherwise
    // in the private runtime folder. Empty when no private folder could be
    // had (logged).
    static QString socketPath(const QString &serverName);

    explicit LaunchEventChannel(QString serverName = defaultServerName());
    ~LaunchEventChannel();
    LaunchEventChannel(const LaunchEventChannel &) = delete;
    LaunchEventChannel &operator=(const LaunchEventChannel &) = delete;

    // Takes the single-viewer lock (or keeps the one taken by
    // handOffToRunningInstance in this process) and starts listening; each
    // event received is passed to deliver. False when another viewer holds
    // the lock or the socket cannot be made.
    bool listen(std::function<void(const AttachEvent &)> deliver);
    bool isListening() const;

    // Client side, at launch. True when another viewer of this user runs
    // (holds the lock): the event is handed to it, waiting up to timeoutMs
    // for it to answer (it may be busy or still starting), and a viewer that
    // does not answer in time is logged, never joined by a second one. False
    // when no viewer runs; this process then holds the lock, for its own
    // listen().
    static bool handOffToRunningInstance(const AttachEvent &event, const QString &serverName = defaultServerName(),
                                         int timeoutMs = 10000);

    // Longest line accepted; longer input is dropped unanswered, and a
    // sender shortens its text to fit.
    static constexpr int kMaxLineBytes = 4096;
    // A client that has not sent its line by then is dropped.
    static constexpr int kIdleClientMs = 2000;
    // Clients served at once; more are closed as they arrive.
    static constexpr int kMaxClients = 16;

private:
    struct Listener;
    const QString m_serverName;
    std::unique_ptr<Listener> m_listener;
};

} // namespace kelvo::device
