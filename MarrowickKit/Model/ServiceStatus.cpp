#include "MarrowickKit/Model/ServiceStatus.h"

#include "MarrowickKit/Model/JsonReading.h"

namespace marrowick {

QString serviceStatusText(ServiceStatus status)
{
    switch (status) {
    case ServiceStatus::up: return QStringLiteral("up");
    case ServiceStatus::down: return QStringLiteral("down");
    case ServiceStatus::warn: return QStringLiteral("warn");
    case ServiceStatus::unknown: return QStringLiteral("unknown");
    }
    return QStringLiteral("unknown");
}

std::optional<ServiceStatus> serviceStatusFromText(const QString &text)
{
    for (auto status : {ServiceStatus::up, ServiceStatus::down, ServiceStatus::warn, ServiceStatus::unknown}) {
        if (serviceStatusText(status) == text)
            return status;
    }
    return std::nullopt;
}

ServiceStatus readServiceStatus(const QJsonValue &json, const QString &path)
{
    const QString text = readString(json, path);
    const auto status = serviceStatusFromText(text);
    if (!status)
        throw JsonDecodeError(QStringLiteral("Cannot initialize ServiceStatus from invalid String value %1")
                                  .arg(text),
                              path);
    return *status;
}

ServiceStatus readServiceStatus(const JsonObjectReader &reader, const QString &key)
{
    const QString text = reader.string(key);
    if (const auto status = serviceStatusFromText(text))
        return *status;
    return readServiceStatus(QJsonValue(text), reader.pathOf(key));
}

} // namespace marrowick
