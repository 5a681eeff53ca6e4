#include "Marrowick/Shell/AppDelegate.h"

#include "Marrowick/State/AppState.h"

namespace marrowick {

AppState *AppDelegate::appState() const
{
    return m_appState;
}

void AppDelegate::setAppState(AppState *state)
{
    m_appState = state;
}

AppDelegate::TerminateReply AppDelegate::applicationShouldTerminate(std::function<void()> replyToTerminate)
{
    if (!m_appState)
        return TerminateReply::terminateNow;
    if (!m_isTerminating) {
        m_isTerminating = true;
        [[maybe_unused]] auto task = flushThenReply(m_appState, std::move(replyToTerminate));
    }
    return TerminateReply::terminateLater;
}

QCoro::Task<void> AppDelegate::flushThenReply(QPointer<AppState> state, std::function<void()> replyToTerminate)
{
    if (state)
        co_await state->saveBeforeQuit();
    replyToTerminate();
}

} // namespace marrowick
