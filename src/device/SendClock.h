#pragma once

#include <chrono>

namespace kelvo::device {

// The time source of the send queue's spacing. The real one reads the
// monotonic clock and sleeps; tests substitute a virtual one so the spacing
// rules can be checked exactly and without waiting.
// Thread: called on the send queue only.
class SendClock {
public:
    using Microseconds = std::chrono::microseconds;
    virtual ~SendClock() = default;
    // Monotonic time in microseconds.
    virtual Microseconds now() = 0;
    virtual void sleepFor(Microseconds duration) = 0;
};

// The monotonic system clock.
class SteadySendClock final : public SendClock {
public:
    Microseconds now() override;
    void sleepFor(Microseconds duration) override;
};

} // namespace kelvo::device
