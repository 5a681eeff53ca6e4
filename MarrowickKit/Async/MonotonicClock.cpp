#include "MarrowickKit/Async/MonotonicClock.h"

#include <chrono>

namespace marrowick {

double monotonicSeconds()
{
    const auto sinceStart = std::chrono::steady_clock::now().time_since_epoch();
    return std::chrono::duration<double>(sinceStart).count();
}

} // namespace marrowick
