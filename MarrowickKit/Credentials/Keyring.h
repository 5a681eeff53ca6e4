#pragma once

#include <QByteArray>
#include <QString>

#include <QCoro/QCoroTask>

#include <functional>

namespace marrowick {

// One call into the desktop's keyring, and how it ended with its cause told apart. A call may
// wait on a prompt for as long as the user leaves it open; KeychainCredentialStore decides when
// calls run and how long anyone waits for them.
class Keyring {
public:
    enum class Operation { read, write, remove };
    enum class Outcome {
        done, // a read carries the secret's bytes
        absent, // nothing is stored under the name
        noService, // no keyring service is running
        locked, // the keyring stayed locked (its unlock prompt declined or not shown)
        refused, // the keyring refused access
        noKeyring, // there is no keyring to write to (its creation declined)
        failed, // anything else: `code` and `message` say what the keyring said
    };

    struct Request {
        Operation operation = Operation::read;
        QString service;
        QString referenceName;
        QString secret; // of a write
    };

    struct Reply {
        Outcome outcome = Outcome::done;
        QByteArray data;
        qint32 code = 0;
        QString message;
    };

    // What the keyring tells of itself unasked.
    enum class Change {
        unlocked, // a keyring was unlocked, by whichever program
        appeared, // a keyring service started
    };

    virtual ~Keyring() = default;

    // Never throws: every failure is a reply.
    virtual QCoro::Task<Reply> run(Request request) = 0;
    // Calls `changed` for each change from now on; called once. A keyring that tells nothing
    // ignores it.
    virtual void watch(std::function<void(Change)> /*changed*/) {}
};

} // namespace marrowick
