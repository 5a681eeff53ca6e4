#pragma once

#include <functional>

namespace marrowick {

// Seconds on a clock that never jumps with wall-clock changes; only differences mean anything.
// Injected wherever work measures latency or keeps a deadline, so tests run in virtual time.
using MonotonicClock = std::function<double()>;

double monotonicSeconds();

// Seconds on the boot-time clock (CLOCK_BOOTTIME): as monotonicSeconds(), and it also counts
// the time the computer spent suspended.
double bootTimeSeconds();

} // namespace marrowick
