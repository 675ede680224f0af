#include "device/SendQueue.h"

#include "device/ReportProtocol.h"

namespace kelvo::device {

SendQueue::SendQueue(SendNow sendNow, std::shared_ptr<SendClock> clock)
    : m_sendNow(std::move(sendNow)), m_clock(std::move(clock)), m_dispatch("com.morvane.hidsendqueue")
{}

SendQueue::~SendQueue() = default;

bool SendQueue::sendHIDCommand(long command)
{
    {
        std::lock_guard lock(m_queueMutex);
        m_queue.push_back(command);
    }
    m_dispatch.async([this] { runHIDSendQueue(); });
    return true;
}

void SendQueue::waitUntilIdle()
{
    // Every submission drains what was queued before it, so one more empty
    // submission returns only after all earlier ones have finished.
    m_dispatch.sync([] {});
}

void SendQueue::runHIDSendQueue()
{
    std::vector<long> batch;
    {
        std::lock_guard lock(m_queueMutex);
        batch.swap(m_queue);
    }
    for (std::size_t i = 0; i < batch.size(); ++i) {
        const long command = batch[i];
        SendClock::Microseconds delay = kCommandSpacing;
        bool skip = false;
        if (isCameraZoomCommand(command)) {
            delay = kZoomSpacing;
            for (std::size_t later = i + 1; later < batch.size(); ++later) {
                if (isCameraZoomCommand(batch[later])) {
                    skip = true;
                    break;
                }
            }
        }
        if (!skip) {
            m_sendNow(command);
            const SendClock::Microseconds deadline = m_clock->now() + delay;
            for (;;) {
                const SendClock::Microseconds remaining = deadline - m_clock->now();
                if (remaining.count() <= 0)
                    break;
                m_clock->sleepFor(remaining);
            }
        }
        std::lock_guard lock(m_queueMutex);
        batch.insert(batch.end(), m_queue.begin(), m_queue.end());
        m_queue.clear();
    }
}

} // namespace kelvo::device
