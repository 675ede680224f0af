#pragma once

#include <QString>

#include <cstdint>
#include <functional>
#include <vector>

namespace kelvo::video {

enum class CaptureNotification {
    RuntimeError,
    DidStartRunning,
    DidStopRunning,
    DeviceWasConnected,
    DeviceWasDisconnected,
};

// Identifies one capture session; each rebuild of the graph makes a new one.
using CaptureSessionId = std::uint64_t;
inline constexpr CaptureSessionId kAnySession = 0;

struct CaptureNotificationInfo {
    CaptureNotification kind = CaptureNotification::RuntimeError;
    CaptureSessionId session = kAnySession;
    QString error; // the session error of a runtime error
};

// Block observers of the capture notifications, keyed by token. An observer
// registered for a session hears only that session; one registered for
// kAnySession hears every posting of its kind.
// Thread: main thread only; backends post from streaming threads by queuing
// the post onto the main thread first.
class CaptureNotificationCenter {
public:
    using Token = int;
    using Handler = std::function<void(const CaptureNotificationInfo &)>;

    Token addObserver(CaptureNotification kind, CaptureSessionId session, Handler handler);
    // Unknown tokens are ignored.
    void removeObserver(Token token);
    // Calls every matching observer. An observer may add or remove observers;
    // one removed during the posting is not called any more.
    void post(const CaptureNotificationInfo &info);
    int observerCount() const { return int(m_observers.size()); }

private:
    struct Observer {
        Token token;
        CaptureNotification kind;
        CaptureSessionId session;
        Handler handler;
    };
    std::vector<Observer> m_observers;
    Token m_nextToken = 1;
};

} // namespace kelvo::video
