#pragma once

#include <QObject>
#include <QPointer>

#include <QCoro/QCoroTask>

#include <functional>

namespace marrowick {

class AppState;

// Holds a quit back until the poll history and unsaved sources are written. Until the tray
// label hands it the state there is nothing to write, and a quit goes through at once.
class AppDelegate : public QObject {
    Q_OBJECT

public:
    enum class TerminateReply { terminateNow, terminateLater };

    using QObject::QObject;

    AppState *appState() const;
    void setAppState(AppState *state);

    // Terminate later: `replyToTerminate` runs once the state has saved what it can, however
    // long that takes. A second request while the first is waiting is answered later too and
    // gets no second reply.
    TerminateReply applicationShouldTerminate(std::function<void()> replyToTerminate);

private:
    static QCoro::Task<void> flushThenReply(QPointer<AppState> state, std::function<void()> replyToTerminate);

    QPointer<AppState> m_appState;
    bool m_isTerminating = false;
};

} // namespace marrowick
