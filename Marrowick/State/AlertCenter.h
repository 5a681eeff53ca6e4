#pragma once

#include <QCoro/QCoroTask>
#include <QString>

#include <optional>

namespace marrowick {

// Whether alerts can reach the user. Desktop notification servers have no permission of their
// own: a server that answers counts as authorised, none at all as denied.
enum class AuthorizationStatus { notDetermined, denied, authorized, provisional, ephemeral };

// One alert as the desktop shows it.
struct AlertNotification {
    QString title;
    QString body;
    // The desktop's default notification sound, or silence.
    bool sound = true;

    bool operator==(const AlertNotification &) const = default;
};

// The application's one link to the desktop's notifications. An interface, so the
// application state can be tested against a recording fake.
class AlertCenter {
public:
    enum class EventKind { down, recovered };

    virtual ~AlertCenter() = default;

    // Asks anew on every call; never fails.
    virtual QCoro::Task<AuthorizationStatus> authorizationStatus() = 0;
    // The name the notification server gave of itself at the last authorizationStatus(); empty
    // before, when none answered or when it gave no name.
    virtual QString serverName() const { return {}; }
    // Asks for permission to show alerts with sound; true when granted.
    virtual QCoro::Task<bool> requestAuthorization() = 0;
    // Shows the alert at once. The outcome is not observed: a refused alert is the
    // desktop's to drop, and authorizationStatus() is what tells the user.
    virtual void post(const AlertNotification &notification) = 0;

    // The body of an alert: how long the source has been down, or was down before it came
    // back, in whole minutes. `downFor` is the outage's seconds so far, absent when its start is
    // unknown.
    static QString bodyText(EventKind kind, std::optional<double> downFor);
};

} // namespace marrowick
