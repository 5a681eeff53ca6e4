#pragma once

#include "MarrowickKit/Transport/HostLookup.h"

#include <QHash>
#include <QStringList>

#include <memory>

namespace marrowick::test {

// A HostLookup over a resolver that the test scripts: it answers from a table the test changes
// as it goes, `delayMs` after being asked (a slow name server), or only at `release()` when the
// delay is negative; its answers age on a clock that moves only with `advance`. Every name it
// is asked is recorded.
class ScriptedHosts {
public:
    explicit ScriptedHosts(int delayMs = 0);

    // No addresses: "host not found".
    void set(const QString &name, QList<QHostAddress> addresses);
    QList<QHostAddress> answer(const QString &name) const { return m_state->answers.value(name); }
    void advance(double seconds) { m_state->now += seconds; }
    // Answers every lookup waiting for one.
    void release();

    std::shared_ptr<HostLookup> lookup() const { return m_lookup; }
    const QStringList &asked() const { return m_state->asked; }

private:
    struct Pending {
        QString name;
        Completion<QList<QHostAddress>> done;
    };
    struct State {
        int delayMs = 0;
        double now = 0;
        QHash<QString, QList<QHostAddress>> answers;
        QStringList asked;
        QList<Pending> pending;
    };
    static void release(const std::shared_ptr<State> &state);

    std::shared_ptr<State> m_state;
    std::shared_ptr<HostLookup> m_lookup;
};

} // namespace marrowick::test
