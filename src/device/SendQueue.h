#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "common/SerialQueue.h"
#include "device/SendClock.h"

namespace kelvo::device {

// The ordered command queue of the device link (HIDSendQueue) and the serial
// queue "com.morvane.hidsendqueue" that drains it (HIDSendDispatchQueue).
// Commands leave one at a time in the order queued: 20 ms after every
// command, 200 ms after a camera-zoom command, and of the camera-zoom
// commands waiting in one batch only the newest is sent. Commands queued while
// a batch is being sent (also by the command being sent) join that batch.
// Thread: created and destroyed by the owner; sendHIDCommand() from any
// thread; the send function runs on the queue's thread.
class SendQueue {
public:
    // Sends one command now (sendHIDCommandNow); its answer is only logged
    // by the caller, never retried.
    using SendNow = std::function<bool(long command)>;

    static constexpr SendClock::Microseconds kCommandSpacing{20'000};
    static constexpr SendClock::Microseconds kZoomSpacing{200'000};

    explicit SendQueue(SendNow sendNow, std::shared_ptr<SendClock> clock = std::make_shared<SteadySendClock>());
    // Sends what is queued already, then stops the queue's thread.
    ~SendQueue();
    SendQueue(const SendQueue &) = delete;
    SendQueue &operator=(const SendQueue &) = delete;

    // Queues a command and asks the queue to drain. Answers true: the answer
    // says nothing about delivery.
    bool sendHIDCommand(long command);

    // Runs a task on the send queue after the commands queued so far have
    // been sent (and their pause has passed).
    void runAfterQueued(std::function<void()> task) { m_dispatch.async(std::move(task)); }

    // Blocks until every command queued so far has been sent and its pause
    // has passed. For shutdown and tests; never call it on the queue itself.
    void waitUntilIdle();

    // True on the send queue's own thread.
    bool isCurrent() const { return m_dispatch.isCurrent(); }

    const std::string &label() const { return m_dispatch.label(); }

private:
    void runHIDSendQueue();

    SendNow m_sendNow;
    std::shared_ptr<SendClock> m_clock;
    std::mutex m_queueMutex;
    std::vector<long> m_queue; // guarded by m_queueMutex
    SerialQueue m_dispatch;    // declared last: its thread stops before the rest goes
};

} // namespace kelvo::device
