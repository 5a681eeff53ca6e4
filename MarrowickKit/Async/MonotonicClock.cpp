#include "MarrowickKit/Async/MonotonicClock.h"

#include <chrono>
#include <ctime>

namespace marrowick {

double monotonicSeconds()
{
    const auto sinceStart = std::chrono::steady_clock::now().time_since_epoch();
    return std::chrono::duration<double>(sinceStart).count();
}

double bootTimeSeconds()
{
    timespec now{};
    ::clock_gettime(CLOCK_BOOTTIME, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

} // namespace marrowick
