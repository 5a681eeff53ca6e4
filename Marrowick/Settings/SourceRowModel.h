#pragma once

#include "MarrowickKit/Async/Instant.h"
#include "MarrowickKit/Model/AnySourceConfig.h"
#include "MarrowickKit/Model/ServiceStatus.h"

#include <QString>

#include <optional>

namespace marrowick {

class AppState;

// What one card of the settings list shows, computed from AppState each time it is drawn.
struct SourceRowModel {
    QUuid id;
    QString name;
    SourceKind kind = SourceKind::tcpPort;
    QString typeTitle;
    QString endpoint;
    ServiceStatus status = ServiceStatus::unknown;
    // The time of the last successful poll, when one has finished.
    std::optional<Instant> fetchedAt;
    // The text of the last poll when it failed, or why the check it made is down.
    std::optional<QString> error;
    bool alertsEnabled = true;

    bool operator==(const SourceRowModel &) const = default;

    static SourceRowModel make(const AppState &state, const AnySourceConfig &source);
    // Re-reads the status, the age and the error of this source alone.
    void readResults(const AppState &state);

    // An error wins over an older snapshot; otherwise the worst widget of the last snapshot,
    // hidden ones included; unknown before the first poll or with no widget.
    static ServiceStatus sourceStatus(const AppState &state, const QUuid &id);

    static QString kindTitle(SourceKind kind);
    QString muteLabel() const;
    QString editTip() const { return QStringLiteral("Edit ") + name; }
    QString deleteLabel() const { return QStringLiteral("Delete ") + name; }
};

// A copy of the source with its alerts switched on or off; every other field kept.
AnySourceConfig withAlertsEnabled(const AnySourceConfig &source, bool enabled);

} // namespace marrowick
