#include "MarrowickKit/Async/Sleep.h"

#include "MarrowickKit/Async/Completion.h"

#include <QSocketNotifier>
#include <QTimer>

#include <sys/timerfd.h>
#include <unistd.h>

#include <cmath>

namespace marrowick {

namespace {

// Owns one timerfd on CLOCK_BOOTTIME; falls back to a QTimer where the kernel lacks it.
class BootTimeTimer {
public:
    BootTimeTimer(double seconds, Completion<Done> done)
    {
        m_fd = ::timerfd_create(CLOCK_BOOTTIME, TFD_NONBLOCK | TFD_CLOEXEC);
        if (m_fd < 0) {
            m_fallback.setSingleShot(true);
            QObject::connect(&m_fallback, &QTimer::timeout, [done] { done.complete({}); });
            m_fallback.start(static_cast<int>(std::min(seconds * 1000.0, 2147483647.0)));
            return;
        }
        itimerspec spec{};
        const double whole = std::floor(seconds);
        spec.it_value.tv_sec = static_cast<time_t>(whole);
        spec.it_value.tv_nsec = static_cast<long>((seconds - whole) * 1e9);
        if (spec.it_value.tv_sec == 0 && spec.it_value.tv_nsec == 0)
            spec.it_value.tv_nsec = 1;
        ::timerfd_settime(m_fd, 0, &spec, nullptr);
        m_notifier = std::make_unique<QSocketNotifier>(m_fd, QSocketNotifier::Read);
        QObject::connect(m_notifier.get(), &QSocketNotifier::activated, [this, done] {
            m_notifier->setEnabled(false);
            done.complete({});
        });
    }

    ~BootTimeTimer()
    {
        m_notifier.reset();
        if (m_fd >= 0)
            ::close(m_fd);
    }

    BootTimeTimer(const BootTimeTimer &) = delete;
    BootTimeTimer &operator=(const BootTimeTimer &) = delete;

private:
    int m_fd = -1;
    std::unique_ptr<QSocketNotifier> m_notifier;
    QTimer m_fallback;
};

// A sleep of more than a year is a sleep forever for our purposes, and keeps time_t sane.
constexpr double longestSleep = 366.0 * 24 * 3600;

} // namespace

QCoro::Task<void> continuousSleep(double seconds, CancelToken cancel)
{
    if (cancel.isCancelled())
        co_return;
    if (!std::isfinite(seconds) || seconds <= 0) {
        co_await nextEventLoopTurn();
        co_return;
    }
    Completion<Done> done;
    BootTimeTimer timer(std::min(seconds, longestSleep), done);
    const auto registration = cancel.onCancel([done] { done.complete({}); });
    co_await done;
}

QCoro::Task<void> nextEventLoopTurn()
{
    Completion<Done> done;
    QTimer::singleShot(0, QCoreApplication::instance(), [done] { done.complete({}); });
    co_await done;
}

} // namespace marrowick
