#include "MarrowickKit/Transport/LookupCache.h"

#include <QThreadPool>

namespace marrowick {

namespace {

// A lookup waits for the resolver, not for a processor: as many run at once as there are names
// a large lab asks for together, each taking as long as the resolver takes. Beyond that a
// lookup waits for a thread, never against a time limit.
constexpr int lookupThreads = 128;

} // namespace

void startOnLookupThread(std::function<void()> work)
{
    // Never destroyed: its destructor would wait for lookups that nothing can interrupt, and so
    // hold up the program's exit by as long as the resolver takes.
    static QThreadPool *const threads = [] {
        auto *pool = new QThreadPool;
        pool->setMaxThreadCount(lookupThreads);
        return pool;
    }();
    threads->start(std::move(work));
}

} // namespace marrowick
