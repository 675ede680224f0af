#pragma once

#include "video/VideoFrame.h"

#include <QObject>

#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>

namespace kelvo::video {

// Hands frames from a streaming thread to the main thread so that the picture
// never lags: at most one frame waits for delivery, and a newer frame replaces
// an undelivered older one. Each post that finds the box empty queues one
// invocation on the main thread; the invocation delivers whatever frame is
// newest by then.
// Thread: construct and destroy on the main thread; post from any thread.
class CaptureFrameMailbox {
public:
    using Handler = std::function<void(const VideoFrame &)>;

    explicit CaptureFrameMailbox(Handler handler);
    ~CaptureFrameMailbox();
    CaptureFrameMailbox(const CaptureFrameMailbox &) = delete;
    CaptureFrameMailbox &operator=(const CaptureFrameMailbox &) = delete;

    void post(VideoFrame frame);
    // Frames that were replaced before they were delivered.
    std::uint64_t replacedCount() const;
    // Frames handed to the handler.
    std::uint64_t deliveredCount() const;

private:
    void deliver();

    Handler m_handler;
    QObject m_context; // lives on the main thread; its deletion drops queued deliveries
    mutable std::mutex m_mutex;
    std::optional<VideoFrame> m_pending; // guarded by m_mutex
    std::uint64_t m_replaced = 0;        // guarded by m_mutex
    std::uint64_t m_delivered = 0;       // guarded by m_mutex
};

} // namespace kelvo::video
