#pragma once

#include "MarrowickKit/Async/Cancellation.h"

#include <QCoro/QCoroTask>

#include <functional>

namespace marrowick {

// The only way the engine and the recorder wait, injected so tests run in virtual time.
// A sleep never throws; a cancelled sleep returns at once.
using SleepFunction = std::function<QCoro::Task<void>(double seconds, CancelToken cancel)>;

// Sleeps on the boot-time clock, which keeps counting while the machine is suspended, so a
// wait that spans a suspend ends on time. Not-finite or non-positive durations return at the
// next turn of the event loop.
QCoro::Task<void> continuousSleep(double seconds, CancelToken cancel = {});

// Returns after the event loop has run once, so the caller's caller finishes its own step first.
QCoro::Task<void> nextEventLoopTurn();

} // namespace marrowick
