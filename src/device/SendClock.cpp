#include "device/SendClock.h"

#include <thread>

namespace kelvo::device {

SendClock::Microseconds SteadySendClock::now()
{
    return std::chrono::duration_cast<Microseconds>(std::chrono::steady_clock::now().time_since_epoch());
}

void SteadySendClock::sleepFor(Microseconds duration)
{
    std::this_thread::sleep_for(duration);
}

} // namespace kelvo::device
