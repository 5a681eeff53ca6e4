#pragma once

#include "MarrowickKit/Async/Sleep.h"

#include <QList>

#include <memory>

namespace marrowick::test {

// A sleep in virtual time: it either ends at once (the time ran out) or only when its token is
// cancelled (the time never runs out). Records every duration asked for and every cancelled
// sleep.
class ScriptedSleep {
public:
    enum class Mode { endsAtOnce, untilCancelled };

    explicit ScriptedSleep(Mode mode);

    SleepFunction function() const;
    const QList<double> &durations() const { return m_state->durations; }
    int cancelledSleeps() const { return m_state->cancelled; }

private:
    struct State {
        Mode mode;
        QList<double> durations;
        int cancelled = 0;
    };
    static QCoro::Task<void> sleep(std::shared_ptr<State> state, double seconds, CancelToken cancel);

    std::shared_ptr<State> m_state;
};

} // namespace marrowick::test
