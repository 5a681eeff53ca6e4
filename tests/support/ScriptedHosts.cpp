#include "support/ScriptedHosts.h"

#include "MarrowickKit/Model/ProviderError.h"

#include <QTimer>

namespace marrowick::test {

ScriptedHosts::ScriptedHosts(int delayMs) : m_state(std::make_shared<State>())
{
    m_state->delayMs = delayMs;
    const std::weak_ptr<State> weak = m_state;
    m_lookup = std::make_shared<HostLookup>(
        [weak](QString name) -> QCoro::Task<QList<QHostAddress>> {
            const auto state = weak.lock();
            if (!state)
                throw ProviderError::upstream(QStringLiteral("host not found"));
            state->asked.append(name);
            Completion<QList<QHostAddress>> done;
            state->pending.append(Pending{name, done});
            if (state->delayMs >= 0)
                QTimer::singleShot(state->delayMs, [weak] {
                    if (const auto alive = weak.lock())
                        release(alive);
                });
            QList<QHostAddress> addresses = co_await done;
            co_return addresses;
        },
        [weak] {
            const auto state = weak.lock();
            return state ? state->now : 0.0;
        });
}

void ScriptedHosts::set(const QString &name, QList<QHostAddress> addresses)
{
    m_state->answers.insert(name, std::move(addresses));
}

void ScriptedHosts::release()
{
    release(m_state);
}

void ScriptedHosts::release(const std::shared_ptr<State> &state)
{
    for (const Pending &pending : std::exchange(state->pending, {})) {
        const QList<QHostAddress> addresses = state->answers.value(pending.name);
        if (addresses.isEmpty())
            pending.done.fail(ProviderError::upstream(QStringLiteral("host not found")));
        else
            pending.done.complete(addresses);
    }
}

} // namespace marrowick::test
