#pragma once

#include "MarrowickKit/Async/Cancellation.h"
#include "MarrowickKit/Async/Completion.h"
#include "MarrowickKit/Async/MonotonicClock.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QString>

#include <QCoro/QCoroTask>

#include <algorithm>
#include <exception>
#include <functional>
#include <memory>
#include <unordered_map>
#include <utility>
#include <vector>

namespace marrowick {

// Runs `work` (a blocking resolver call, which nothing can interrupt) on one of the lookup
// threads. Many run at once, so a slow name does not hold up the others.
void startOnLookupThread(std::function<void()> work);

// `work`'s result, computed on a lookup thread and handed back on the application's thread.
// `work` must not throw; a result that arrives after the application has gone is dropped.
template<typename T>
QCoro::Task<T> onLookupThread(std::function<T()> work)
{
    Completion<T> done;
    startOnLookupThread([work = std::move(work), done] {
        T result = work();
        if (auto *application = QCoreApplication::instance())
            QMetaObject::invokeMethod(application, [done, result] { done.complete(result); }, Qt::QueuedConnection);
    });
    T result = co_await done;
    co_return result;
}

// Answers by name (host addresses, SRV records), each kept for `lifetime` seconds of `clock`
// however many names there are. Every caller asking for a name while its lookup is under way
// shares that lookup (until startAfresh()). A lookup has no time limit of its own: it takes what the
// resolver takes. A caller that cancels stops waiting at once with CancellationError; the
// lookup goes on, and its answer is kept for the next caller. A lookup's failure reaches the
// callers that waited for it and is not kept, so the next caller asks again.
// Lives on the application's thread.
template<typename Answer>
class LookupCache {
public:
    // May throw; only what it returns is kept.
    using Lookup = std::function<QCoro::Task<Answer>(QString name)>;

    struct Kept {
        Answer answer;
        // On `clock`: the answer is current while the clock reads less.
        double validUntil = 0;
    };

    LookupCache(Lookup lookup, MonotonicClock clock, double lifetime)
        : m_state(std::make_shared<State>(std::move(lookup), std::move(clock), lifetime))
    {
    }

    QCoro::Task<Kept> answer(QString name, CancelToken cancel = {}) const
    {
        cancel.throwIfCancelled();
        const std::shared_ptr<State> state = m_state;
        const auto kept = state->kept.find(name);
        if (kept != state->kept.end()) {
            // A copy: QCoro moves from an lvalue handed to co_return.
            Kept copy = kept->second;
            if (state->clock() < copy.validUntil)
                co_return copy;
            state->kept.erase(kept);
        }
        std::shared_ptr<Waiters> &waiters = state->inFlight[name];
        const bool starts = !waiters;
        if (starts)
            waiters = std::make_shared<Waiters>();
        // Callers that stopped waiting leave a finished completion behind.
        std::erase_if(*waiters, [](const Completion<Kept> &waiter) { return waiter.isDone(); });
        Completion<Kept> mine;
        waiters->push_back(mine);
        if (starts)
            run(state, name, waiters);
        const auto registration = cancel.onCancel([mine] { mine.fail(CancellationError()); });
        Kept found = co_await mine;
        co_return found;
    }

    double now() const { return m_state->clock(); }

    // Lookups under way began on the network as it was before a change, and may fail for want
    // of it: callers from now on ask afresh. Those lookups still answer their own callers; what
    // they find is not kept.
    void startAfresh() const { m_state->inFlight.clear(); }

private:
    using Waiters = std::vector<Completion<Kept>>;

    struct State {
        State(Lookup lookup, MonotonicClock clock, double lifetime)
            : lookup(std::move(lookup)), clock(std::move(clock)), lifetime(lifetime)
        {
        }

        Lookup lookup;
        MonotonicClock clock;
        double lifetime;
        std::unordered_map<QString, Kept> kept;
        std::unordered_map<QString, std::shared_ptr<Waiters>> inFlight;
        double nextSweep = 0;

        // Once a lifetime, every expired answer goes: the map holds at most the names of the
        // last two lifetimes.
        void keep(const QString &name, Kept answer)
        {
            const double now = clock();
            if (now >= nextSweep) {
                std::erase_if(kept, [now](const auto &entry) { return entry.second.validUntil <= now; });
                nextSweep = now + lifetime;
            }
            kept.insert_or_assign(name, std::move(answer));
        }
    };

    // Runs detached; the state outlives the cache while it does.
    static QCoro::Task<void> run(std::shared_ptr<State> state, QString name, std::shared_ptr<Waiters> waiters)
    {
        std::exception_ptr failure;
        Kept found;
        try {
            found.answer = co_await state->lookup(name);
            found.validUntil = state->clock() + state->lifetime;
        } catch (...) {
            failure = std::current_exception();
        }
        const auto current = state->inFlight.find(name);
        if (current != state->inFlight.end() && current->second == waiters) {
            state->inFlight.erase(current);
            if (!failure)
                state->keep(name, found);
        }
        for (const Completion<Kept> &waiter : *waiters) {
            if (failure)
                waiter.fail(failure);
            else
                waiter.complete(found);
        }
    }

    std::shared_ptr<State> m_state;
};

} // namespace marrowick
