#include "MarrowickKit/Async/Sleep.h"

#include "MarrowickKit/Async/Completion.h"
#include "MarrowickKit/Async/MonotonicClock.h"

#include <QPointer>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>

#include <sys/timerfd.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>
#include <utility>

namespace marrowick {

namespace {

// Every sleep of a thread waits on one timerfd on CLOCK_BOOTTIME, armed for the earliest
// deadline: a wait costs a map entry, not a descriptor that each turn of the event loop polls.
// Falls back to a QTimer where the kernel lacks the clock.
class BootTimeWaits : public QObject {
public:
    using Key = std::pair<double, quint64>;

    static BootTimeWaits *forThisThread()
    {
        thread_local QPointer<BootTimeWaits> waits;
        if (!waits) {
            QCoreApplication *app = QCoreApplication::instance();
            const bool onAppThread = app && app->thread() == QThread::currentThread();
            waits = new BootTimeWaits(onAppThread ? app : nullptr);
            if (!onAppThread)
                QObject::connect(QThread::currentThread(), &QThread::finished, waits.data(),
                                 [object = waits.data()] { delete object; }, Qt::DirectConnection);
        }
        return waits;
    }

    ~BootTimeWaits() override
    {
        // Waiters still here belong to frames that will never resume; nothing is completed.
        m_notifier.reset();
        if (m_fd >= 0)
            ::close(m_fd);
    }

    Key add(double seconds, Completion<Done> done)
    {
        const Key key{bootTimeSeconds() + seconds, ++m_counter};
        const bool earliest = m_waits.empty() || key < m_waits.begin()->first;
        m_waits.emplace(key, std::move(done));
        if (earliest)
            arm();
        return key;
    }

    void remove(const Key &key) { m_waits.erase(key); }

private:
    explicit BootTimeWaits(QObject *parent) : QObject(parent)
    {
        m_fd = ::timerfd_create(CLOCK_BOOTTIME, TFD_NONBLOCK | TFD_CLOEXEC);
        if (m_fd < 0) {
            m_fallback.setSingleShot(true);
            m_fallback.setTimerType(Qt::PreciseTimer);
            QObject::connect(&m_fallback, &QTimer::timeout, this, [this] { fire(); });
            return;
        }
        m_notifier = std::make_unique<QSocketNotifier>(m_fd, QSocketNotifier::Read);
        QObject::connect(m_notifier.get(), &QSocketNotifier::activated, this, [this] {
            quint64 expirations = 0;
            if (::read(m_fd, &expirations, sizeof expirations) < 0) {
                // Nothing to read: a re-arm raced the expiry; the deadlines decide below.
            }
            fire();
        });
    }

    void fire()
    {
        const double now = bootTimeSeconds();
        while (!m_waits.empty() && m_waits.begin()->first.first <= now) {
            const Completion<Done> done = m_waits.begin()->second;
            m_waits.erase(m_waits.begin());
            done.complete({});
        }
        arm();
    }

    void arm()
    {
        const double deadline = m_waits.empty() ? 0.0 : m_waits.begin()->first.first;
        if (m_fd < 0) {
            if (m_waits.empty())
                m_fallback.stop();
            else
                m_fallback.start(static_cast<int>(std::clamp(std::ceil((deadline - bootTimeSeconds()) * 1000.0), 0.0,
                                                             2147483647.0)));
            return;
        }
        itimerspec spec{};
        if (!m_waits.empty()) {
            const double whole = std::floor(deadline);
            spec.it_value.tv_sec = static_cast<time_t>(whole);
            spec.it_value.tv_nsec = static_cast<long>((deadline - whole) * 1e9);
            if (spec.it_value.tv_sec == 0 && spec.it_value.tv_nsec == 0)
                spec.it_value.tv_nsec = 1;
        }
        ::timerfd_settime(m_fd, TFD_TIMER_ABSTIME, &spec, nullptr);
    }

    int m_fd = -1;
    std::unique_ptr<QSocketNotifier> m_notifier;
    QTimer m_fallback;
    std::map<Key, Completion<Done>> m_waits;
    quint64 m_counter = 0;
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
    const QPointer<BootTimeWaits> waits = BootTimeWaits::forThisThread();
    const BootTimeWaits::Key key = waits->add(std::min(seconds, longestSleep), done);
    const auto registration = cancel.onCancel([done, waits, key] {
        if (waits)
            waits->remove(key);
        done.complete({});
    });
    co_await done;
}

QCoro::Task<void> nextEventLoopTurn()
{
    Completion<Done> done;
    QTimer::singleShot(0, QCoreApplication::instance(), [done] { done.complete({}); });
    co_await done;
}

} // namespace marrowick
