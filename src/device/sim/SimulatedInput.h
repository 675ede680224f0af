#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>

#include "device/ReportProtocol.h"
#include "device/TransferStatus.h"

namespace kelvo::device::sim {

// The host-bound side of an in-process connection to the simulated camera:
// reports the camera sent, waiting to be read. Shared between the transport
// and the camera's report sink so either may go first.
// Thread: any.
class SimulatedInput {
public:
    // One read's outcome: a report, or a forced status and byte count.
    struct Entry {
        Report report{};
        TransferStatus status = TransferStatus::Success;
        std::uint32_t bytes = kReportSize;
    };

    void push(const Report &report) { push(Entry{report, TransferStatus::Success, kReportSize}); }

    void push(const Entry &entry)
    {
        {
            std::lock_guard lock(m_mutex);
            if (m_closed)
                return;
            m_reports.push_back(entry);
        }
        m_wake.notify_all();
    }

    // Waits up to timeout for an entry; false when none came or the input
    // was closed or interrupted.
    bool pop(Entry &report, std::chrono::milliseconds timeout)
    {
        std::unique_lock lock(m_mutex);
        m_wake.wait_for(lock, timeout, [this] { return m_closed || m_interrupt || !m_reports.empty(); });
        m_interrupt = false;
        if (m_closed || m_reports.empty())
            return false;
        report = m_reports.front();
        m_reports.pop_front();
        return true;
    }

    // Wakes a waiting reader (for injected results and unplugging).
    void interrupt()
    {
        {
            std::lock_guard lock(m_mutex);
            m_interrupt = true;
        }
        m_wake.notify_all();
    }

    void close()
    {
        {
            std::lock_guard lock(m_mutex);
            m_closed = true;
            m_reports.clear();
        }
        m_wake.notify_all();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<Entry> m_reports; // guarded by m_mutex
    bool m_closed = false;       // guarded by m_mutex
    bool m_interrupt = false;    // guarded by m_mutex
};

} // namespace kelvo::device::sim
