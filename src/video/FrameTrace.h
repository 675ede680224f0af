#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <map>
#include <mutex>

namespace kelvo::video {

// Measures how long frames take from their source to the screen, for the
// render benchmark: with KELVO_RENDER_TRACE naming a file, the capture
// pipeline notes when each buffer leaves the video source (by its
// timestamp), and the live view notes when it has put that frame on screen;
// each shown frame appends "shown <microseconds>" to the file. Without the
// variable every call returns at once. Thread-safe: sources note on
// streaming threads, the view on the main thread.
class FrameTrace {
public:
    static FrameTrace &instance();
    bool isEnabled() const { return m_file != nullptr; }

    void noteLeftSource(std::int64_t timestampNs);
    void noteShown(std::int64_t timestampNs);

    ~FrameTrace();
    FrameTrace(const FrameTrace &) = delete;
    FrameTrace &operator=(const FrameTrace &) = delete;

private:
    FrameTrace();
    using Clock = std::chrono::steady_clock;

    std::FILE *m_file = nullptr;
    std::mutex m_mutex;
    std::map<std::int64_t, Clock::time_point> m_left; // guarded by m_mutex
};

} // namespace kelvo::video
