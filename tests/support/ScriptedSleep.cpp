#include "support/ScriptedSleep.h"

#include "MarrowickKit/Async/Completion.h"

namespace marrowick::test {

ScriptedSleep::ScriptedSleep(Mode mode) : m_state(std::make_shared<State>(State{mode, {}, 0})) {}

SleepFunction ScriptedSleep::function() const
{
    return [state = m_state](double seconds, CancelToken cancel) { return sleep(state, seconds, cancel); };
}

QCoro::Task<void> ScriptedSleep::sleep(std::shared_ptr<State> state, double seconds, CancelToken cancel)
{
    state->durations.append(seconds);
    if (state->mode == Mode::endsAtOnce) {
        co_await nextEventLoopTurn();
        co_return;
    }
    Completion<Done> cancelled;
    const auto registration = cancel.onCancel([cancelled] { cancelled.complete({}); });
    co_await cancelled;
    ++state->cancelled;
}

} // namespace marrowick::test
