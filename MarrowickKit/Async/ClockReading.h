#pragma once

#include "MarrowickKit/Async/Instant.h"
#include "MarrowickKit/Async/MonotonicClock.h"

#include <QString>

#include <functional>
#include <optional>

namespace marrowick {

// The boot-time clock: seconds since this computer started, counting the time it spent
// suspended, and never set or corrected, so it does not jump when the wall clock does. The
// waits of continuousSleep() run on it. Its readings compare only within one boot, which
// `bootID` names (empty where the system does not tell).
struct BootClock {
    MonotonicClock seconds;
    QString bootID;

    static BootClock system();
};

// The wall clock and the boot-time clock read at one moment. The wall clock dates what is
// stored; the boot-time clock measures how long something lasted. `boot` is absent for a
// reading taken in another boot.
struct ClockReading {
    Instant wall;
    std::optional<double> boot;

    static ClockReading now(const std::function<Instant()> &wallClock, const BootClock &bootClock);
    // Seconds from `from` to `to`: on the boot-time clock where both readings have it, else on
    // the wall clock.
    static double secondsBetween(const ClockReading &from, const ClockReading &to);

    bool operator==(const ClockReading &) const = default;
};

} // namespace marrowick
