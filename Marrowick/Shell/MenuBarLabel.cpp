#include "Marrowick/Shell/MenuBarLabel.h"

#include "Marrowick/State/AppSettings.h"
#include "Marrowick/State/AppState.h"

namespace marrowick {

MenuBarLabel::MenuBarLabel(AppState *state, AppSettings *settings, LaunchContext context, LabelActions actions,
                           QObject *parent)
    : QObject(parent), m_state(state), m_settings(settings), m_context(std::move(context)), m_actions(std::move(actions))
{
    connect(state, &AppState::overallStatusChanged, this, &MenuBarLabel::iconChanged);
    connect(state, &AppState::sourcesChanged, this, [this] {
        // The permission task is keyed on whether sources exist, not on the sources themselves.
        if (m_hasAppeared && m_state->sources().isEmpty() != m_sourcesWereEmpty)
            restartPermissionTask();
    });
}

MenuBarLabel::~MenuBarLabel()
{
    m_permissionTask.cancel();
    m_settingsHook.cancel();
}

OverallStatus MenuBarLabel::status() const
{
    return m_state ? m_state->overallStatus() : OverallStatus::unknown;
}

void MenuBarLabel::appear()
{
    if (m_hasAppeared || !m_state)
        return;
    m_hasAppeared = true;
    m_actions.handStateToDelegate();
    restartPermissionTask();
    if (shouldOpenOnboarding(m_context.arguments, m_context.isUnderTest, m_settings->onboardingCompleted()))
        m_actions.openOnboarding();
    if (hasArgument(m_context.arguments, showSettingsArgument))
        [[maybe_unused]] auto task = showSettingsLater(QPointer<MenuBarLabel>(this), m_context.sleep, m_settingsHook.token());
}

bool MenuBarLabel::hasArgument(const QStringList &arguments, const QString &argument)
{
    return arguments.contains(argument, Qt::CaseSensitive);
}

bool MenuBarLabel::shouldOpenOnboarding(const QStringList &arguments, bool isUnderTest, bool onboardingCompleted)
{
    const bool suppressed = isUnderTest || hasArgument(arguments, demoSourcesArgument);
    const bool forced = hasArgument(arguments, showOnboardingArgument);
    return forced || (!suppressed && !onboardingCompleted);
}

void MenuBarLabel::restartPermissionTask()
{
    m_permissionTask.cancel();
    m_permissionTask = CancelSource();
    m_sourcesWereEmpty = m_state->sources().isEmpty();
    [[maybe_unused]] auto task = askPermission(m_state->alertCenter(), m_state->sources().size(),
                                               m_context.isUnderTest, m_permissionTask.token());
}

QCoro::Task<void> MenuBarLabel::askPermission(std::shared_ptr<AlertCenter> center, qsizetype sourceCount,
                                              bool isUnderTest, CancelToken cancel)
{
    if (isUnderTest || !center)
        co_return;
    try {
        const AuthorizationStatus status = co_await center->authorizationStatus();
        if (cancel.isCancelled() || sourceCount == 0 || status != AuthorizationStatus::notDetermined)
            co_return;
        co_await center->requestAuthorization();
    } catch (...) {
        // A refusal or a failed request is asked again only when the sources' emptiness changes.
    }
}

QCoro::Task<void> MenuBarLabel::showSettingsLater(QPointer<MenuBarLabel> self, SleepFunction sleep, CancelToken cancel)
{
    // A cancelled wait still opens the settings, unless the label itself is gone.
    co_await sleep(showSettingsDelay, cancel);
    if (!self)
        co_return;
    self->m_actions.activate();
    self->m_actions.openSettings();
}

} // namespace marrowick
