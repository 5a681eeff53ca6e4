#include "support/VirtualClock.h"

#include <QCoreApplication>

namespace marrowick::test {

VirtualClock::VirtualClock(Instant start) : m_start(start) {}

VirtualClock::~VirtualClock()
{
    // Let suspended sleepers end rather than leak their frames.
    for (const auto &sleeper : std::as_const(m_sleepers))
        sleeper.wake.complete({});
    settle();
}

SleepFunction VirtualClock::sleepFunction()
{
    return [this](double seconds, CancelToken cancel) { return sleep(seconds, std::move(cancel)); };
}

std::function<Instant()> VirtualClock::nowFunction()
{
    return [this] { return now(); };
}

BootClock VirtualClock::bootClock(const QString &bootID, double bootAtStart)
{
    return BootClock{[this, bootAtStart] { return bootAtStart + m_elapsed; }, bootID};
}

QCoro::Task<void> VirtualClock::sleep(double seconds, CancelToken cancel)
{
    m_requested.append(seconds);
    if (cancel.isCancelled())
        co_return;
    Completion<Done> wake;
    m_sleepers.append(Sleeper{m_elapsed + seconds, wake});
    // Only completes: the clock may be gone when a late cancellation arrives.
    const auto registration = cancel.onCancel([wake] { wake.complete({}); });
    co_await wake;
}

void VirtualClock::advance(double seconds)
{
    const double target = m_elapsed + seconds;
    for (;;) {
        settle();
        m_sleepers.removeIf([](const Sleeper &sleeper) { return sleeper.wake.isDone(); });
        const auto earliest = std::min_element(m_sleepers.begin(), m_sleepers.end(),
                                               [](const Sleeper &a, const Sleeper &b) { return a.deadline < b.deadline; });
        if (earliest == m_sleepers.end() || earliest->deadline > target)
            break;
        m_elapsed = std::max(m_elapsed, earliest->deadline);
        const Completion<Done> wake = earliest->wake;
        m_sleepers.erase(earliest);
        wake.complete({});
    }
    m_elapsed = target;
    settle();
}

void VirtualClock::settle()
{
    // Each round runs what the previous one posted; chains in these tests are short.
    for (int round = 0; round < 32; ++round)
        QCoreApplication::processEvents(QEventLoop::AllEvents);
}

qsizetype VirtualClock::sleeperCount() const
{
    return std::count_if(m_sleepers.cbegin(), m_sleepers.cend(),
                         [](const Sleeper &sleeper) { return !sleeper.wake.isDone(); });
}

} // namespace marrowick::test
