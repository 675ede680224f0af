#pragma once

#include "settings/PlistValue.h"

#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

namespace kelvo::settings {

// Turns snapshots of the settings domain into the file on a thread of its
// own, so that making a large property list (about a second for 200,000
// keys) never holds up the interface. Snapshots are written in the order
// they were submitted; one still waiting when a newer one arrives is
// dropped, since every snapshot is the whole domain and the newer one
// already holds its changes.
class SettingsWriter {
public:
    // Serialises and writes one snapshot; answers whether the file now holds
    // it. Runs on the writer's thread.
    using WriteStep = std::function<bool(const PlistDictionary &snapshot)>;

    explicit SettingsWriter(WriteStep write);
    // Writes what is still waiting, then ends the thread.
    ~SettingsWriter();

    SettingsWriter(const SettingsWriter &) = delete;
    SettingsWriter &operator=(const SettingsWriter &) = delete;

    void submit(PlistDictionary snapshot);

    // Waits until every submitted snapshot was written or dropped for a
    // newer one. Answers whether the last write succeeded (true when there
    // was none).
    bool waitUntilIdle();

private:
    void run();

    const WriteStep m_write;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_idle;
    std::optional<PlistDictionary> m_pending; // guarded by m_mutex
    bool m_writing = false;                   // guarded by m_mutex
    bool m_stopping = false;                  // guarded by m_mutex
    bool m_lastWriteSucceeded = true;         // guarded by m_mutex
    std::thread m_thread;                     // last: starts once the rest exists
};

} // namespace kelvo::settings
