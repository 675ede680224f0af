#include "video/FrameTrace.h"

#include <cstdlib>

namespace kelvo::video {

namespace {
// Frames that never reach the screen (replaced before a paint) are
// forgotten after this many newer ones.
constexpr std::size_t kRemembered = 256;
} // namespace

FrameTrace &FrameTrace::instance()
{
    static FrameTrace trace;
    return trace;
}

FrameTrace::FrameTrace()
{
    if (const char *path = std::getenv("KELVO_RENDER_TRACE"); path != nullptr && *path != '\0') {
        m_file = std::fopen(path, "a");
        if (m_file != nullptr) {
            std::setvbuf(m_file, nullptr, _IOLBF, 0);
        }
    }
}

FrameTrace::~FrameTrace()
{
    if (m_file != nullptr) {
        std::fclose(m_file);
    }
}

void FrameTrace::noteLeftSource(std::int64_t timestampNs)
{
    if (m_file == nullptr) {
        return;
    }
    std::lock_guard lock(m_mutex);
    m_left[timestampNs] = Clock::now();
    while (m_left.size() > kRemembered) {
        m_left.erase(m_left.begin());
    }
}

void FrameTrace::noteShown(std::int64_t timestampNs)
{
    if (m_file == nullptr) {
        return;
    }
    const Clock::time_point now = Clock::now();
    std::lock_guard lock(m_mutex);
    const auto it = m_left.find(timestampNs);
    if (it == m_left.end()) {
        return;
    }
    const auto us = std::chrono::duration_cast<std::chrono::microseconds>(now - it->second).count();
    m_left.erase(m_left.begin(), std::next(it));
    std::fprintf(m_file, "shown %lld\n", static_cast<long long>(us));
}

} // namespace kelvo::video
