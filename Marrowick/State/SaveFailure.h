#pragma once

#include <QString>

namespace marrowick {

// Why the last write of one of the user's files failed, kept until a write lands. A new failure
// is logged once, not at every retry.
class SaveFailure {
public:
    // `what` names what the file holds, as in "Your sources could not be saved".
    explicit SaveFailure(QString what) : m_what(std::move(what)) {}

    const QString &reason() const { return m_reason; }
    // The outcome of a write: empty when it landed. True when that changes the reason.
    bool record(const QString &reason);
    // What a window says while the changes are unsaved; empty once they are saved.
    QString text() const;

private:
    QString m_what;
    QString m_reason;
};

} // namespace marrowick
