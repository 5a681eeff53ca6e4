#pragma once

#include "MarrowickKit/Async/ClockReading.h"
#include "MarrowickKit/Async/Completion.h"
#include "MarrowickKit/Async/Instant.h"
#include "MarrowickKit/Async/Sleep.h"

#include <QList>

#include <functional>

namespace marrowick::test {

// Time that moves only when the test says so. Its sleep function suspends until `advance`
// passes the sleeper's deadline (a cancelled sleep returns at once); every requested duration
// is kept, so tests can read back-off sequences. The wall clock can also be set apart from the
// boot-time clock and the sleeps, as a user or a time service sets it.
class VirtualClock {
public:
    explicit VirtualClock(Instant start = Instant{});
    ~VirtualClock();
    VirtualClock(const VirtualClock &) = delete;
    VirtualClock &operator=(const VirtualClock &) = delete;

    SleepFunction sleepFunction();
    std::function<Instant()> nowFunction();
    Instant now() const { return m_start.advanced(m_elapsed + m_wallShift); }
    // Boot-time seconds: the time advanced so far, from `bootAtStart`, in the boot `bootID` names.
    BootClock bootClock(const QString &bootID = QStringLiteral("virtual boot"), double bootAtStart = 1000);
    // Moves the wall clock alone, by `seconds` (negative: back).
    void moveWallClock(double seconds) { m_wallShift += seconds; }

    // Wakes every sleeper whose deadline falls within `seconds`, earliest first, letting the
    // event loop run after each, then runs it once more at the new time.
    void advance(double seconds);
    // Runs the event loop until the work that is ready has run.
    static void settle();

    const QList<double> &requestedSleeps() const { return m_requested; }
    void clearRequestedSleeps() { m_requested.clear(); }
    // Sleepers neither woken nor cancelled.
    qsizetype sleeperCount() const;

private:
    struct Sleeper {
        double deadline;
        Completion<Done> wake;
    };

    QCoro::Task<void> sleep(double seconds, CancelToken cancel);

    Instant m_start;
    double m_elapsed = 0;
    double m_wallShift = 0;
    QList<Sleeper> m_sleepers; // in order of arrival
    QList<double> m_requested;
};

} // namespace marrowick::test
