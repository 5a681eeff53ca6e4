#pragma once

#include <functional>

namespace marrowick {

// Seconds on a clock that never jumps with wall-clock changes; only differences mean anything.
// Injected wherever work measures latency or keeps a deadline, so tests run in virtual time.
using MonotonicClock = std::function<double()>;

double monotonicSeconds();

// Seconds on the boot-time clock: it never jumps and, unlike the monotonic one, also counts the
// time the machine was suspended, so what lasts "a minute" on it has lasted a minute.
double bootTimeSeconds();

} // namespace marrowick
