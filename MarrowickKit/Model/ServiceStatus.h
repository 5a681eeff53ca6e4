#pragma once

#include <QJsonValue>
#include <QString>

#include <optional>

namespace marrowick {

class JsonObjectReader;

enum class ServiceStatus { up, down, warn, unknown };

// "up", "down", "warn", "unknown": the text stored in the history file.
QString serviceStatusText(ServiceStatus status);
// Exact, case-sensitive match of the text; anything else gives nothing.
std::optional<ServiceStatus> serviceStatusFromText(const QString &text);
// Strict JSON reading: a non-string or unknown text throws JsonDecodeError.
ServiceStatus readServiceStatus(const QJsonValue &json, const QString &path);
// The same for the member `key`, whose path is spelled out only for an error.
ServiceStatus readServiceStatus(const JsonObjectReader &reader, const QString &key);

} // namespace marrowick
