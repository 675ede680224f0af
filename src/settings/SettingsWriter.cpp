#include "settings/SettingsWriter.h"

#include <utility>

namespace kelvo::settings {

SettingsWriter::SettingsWriter(WriteStep write) : m_write(std::move(write)), m_thread([this] { run(); }) {}

SettingsWriter::~SettingsWriter()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_one();
    m_thread.join();
}

void SettingsWriter::submit(PlistDictionary snapshot)
{
    {
        std::lock_guard lock(m_mutex);
        m_pending = std::move(snapshot);
    }
    m_wake.notify_one();
}

bool SettingsWriter::waitUntilIdle()
{
    std::unique_lock lock(m_mutex);
    m_idle.wait(lock, [this] { return !m_pending && !m_writing; });
    return m_lastWriteSucceeded;
}

void SettingsWriter::run()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_pending || m_stopping; });
        if (!m_pending)
            return; // stopping with nothing left to write
        std::optional<PlistDictionary> snapshot = std::exchange(m_pending, std::nullopt);
        m_writing = true;
        lock.unlock();
        const bool written = m_write(*snapshot);
        snapshot.reset(); // a large domain takes a while to free: not under the lock
        lock.lock();
        m_writing = false;
        m_lastWriteSucceeded = written;
        if (!m_pending)
            m_idle.notify_all();
    }
}

} // namespace kelvo::settings
