#pragma once

#include "MarrowickKit/Async/Completion.h"
#include "MarrowickKit/Async/Sleep.h"
#include "MarrowickKit/Credentials/Keyring.h"

#include <QList>

#include <optional>

namespace marrowick::test {

// A desktop keyring in a test. It answers every call with `answer`, or, while `answer` is
// empty, holds each call, as a keyring waiting on a prompt does, until the test answers it.
// The outcomes are those the real keyring gives (checked in tst_KeychainCredentialStore):
// a declined unlock is `locked`, no keyring service `noService`, a declined creation `noKeyring`.
class ScriptedKeyring : public Keyring {
public:
    std::optional<Reply> answer;
    QList<Request> asked; // every call, in order
    int mostAtOnce = 0;

    static Reply reply(Outcome outcome, QByteArray data = {}) { return Reply{outcome, std::move(data), 0, {}}; }

    qsizetype heldCount() const { return m_held.size(); }
    // Answers the oldest held call.
    void answerHeld(const Reply &reply)
    {
        if (!m_held.isEmpty())
            m_held.takeFirst().complete(reply);
    }

    void watch(std::function<void(Change)> changed) override { m_changed = std::move(changed); }
    // As the Secret Service tells of itself.
    void tell(Change change)
    {
        if (m_changed)
            m_changed(change);
    }

    QCoro::Task<Reply> run(Request request) override
    {
        asked.append(request);
        ++m_atOnce;
        mostAtOnce = std::max(mostAtOnce, m_atOnce);
        Reply result;
        if (answer) {
            // A keyring answers over the bus, never within the call.
            co_await nextEventLoopTurn();
            result = *answer;
        } else {
            const Completion<Reply> held;
            m_held.append(held);
            result = co_await held;
        }
        --m_atOnce;
        co_return result;
    }

private:
    QList<Completion<Reply>> m_held;
    std::function<void(Change)> m_changed;
    int m_atOnce = 0;
};

} // namespace marrowick::test
