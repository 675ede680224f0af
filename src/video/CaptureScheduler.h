#pragma once

#include <chrono>
#include <cstdint>
#include <functional>

namespace kelvo::video {

// One-shot and repeating timers on the main thread. The capture logic takes
// its timers from here so that tests can run the 6.0 s camera delay and the
// 0.2 s rebuild delay without waiting.
class CaptureScheduler {
public:
    using TimerId = std::uint64_t;
    static constexpr TimerId kNoTimer = 0;

    virtual ~CaptureScheduler() = default;
    virtual TimerId scheduleOnce(std::chrono::milliseconds delay, std::function<void()> action) = 0;
    virtual TimerId scheduleRepeating(std::chrono::milliseconds interval, std::function<void()> action) = 0;
    // Stops a timer; a finished or unknown timer is ignored.
    virtual void cancel(TimerId timer) = 0;
};

} // namespace kelvo::video
