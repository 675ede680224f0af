#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace kelvo {

// A labelled worker thread that runs tasks one at a time in the order they
// were submitted. The label names the thread (cut to the 15 characters the
// kernel keeps). Destruction runs the tasks already queued, then joins.
// Thread: owned and destroyed by one thread; async() and sync() from any.
class SerialQueue {
public:
    explicit SerialQueue(std::string label);
    ~SerialQueue();
    SerialQueue(const SerialQueue &) = delete;
    SerialQueue &operator=(const SerialQueue &) = delete;

    const std::string &label() const { return m_label; }

    // Queues a task and returns at once.
    void async(std::function<void()> task);
    // Queues a task and waits until it has run. Runs it inline when called
    // from the queue's own thread, which would otherwise deadlock.
    void sync(const std::function<void()> &task);
    // True on the queue's own thread.
    bool isCurrent() const;

private:
    void run();

    const std::string m_label;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::function<void()>> m_tasks; // guarded by m_mutex
    bool m_stopping = false;                   // guarded by m_mutex
    std::thread m_thread;
};

} // namespace kelvo
