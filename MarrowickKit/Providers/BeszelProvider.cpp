#include "MarrowickKit/Providers/BeszelProvider.h"

#include "MarrowickKit/Transport/RequestURL.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>

#include <cmath>

namespace marrowick {

namespace {

std::optional<QJsonObject> jsonObject(const QByteArray &bytes)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    return document.object();
}

// The records of a collection page: "items" as a non-empty array of objects only.
QList<QJsonObject> records(const QByteArray &body)
{
    const auto page = jsonObject(body);
    if (!page)
        return {};
    const QJsonValue items = page->value(QStringLiteral("items"));
    if (!items.isArray())
        return {};
    QList<QJsonObject> list;
    for (const QJsonValue &item : items.toArray()) {
        if (!item.isObject())
            return {};
        list.append(item.toObject());
    }
    return list;
}

std::optional<QString> text(const QJsonObject &object, const QString &key)
{
    const QJsonValue value = object.value(key);
    if (!value.isString())
        return std::nullopt;
    return value.toString();
}

// A number that a widget can show and the history can store.
std::optional<double> number(const QJsonObject &object, const QString &key)
{
    const QJsonValue value = object.value(key);
    if (!value.isDouble() || !std::isfinite(value.toDouble()))
        return std::nullopt;
    return value.toDouble();
}

BeszelProvider::DriveMap driveMap(const QByteArray &body)
{
    BeszelProvider::DriveMap map;
    for (const QJsonObject &record : records(body)) {
        const auto system = text(record, QStringLiteral("system"));
        const auto temp = number(record, QStringLiteral("temp"));
        if (!system || !temp)
            continue;
        const QString label = text(record, QStringLiteral("name")).value_or(*system);
        map[*system].append(DriveTemp{label, *temp});
    }
    return map;
}

std::optional<QJsonObject> infoObject(const QJsonObject &record)
{
    const QJsonValue info = record.value(QStringLiteral("info"));
    if (info.isObject())
        return info.toObject();
    if (info.isString())
        return jsonObject(info.toString().toUtf8());
    return std::nullopt;
}

ServiceStatus systemStatus(const QJsonObject &record)
{
    const auto status = text(record, QStringLiteral("status"));
    if (status == QLatin1String("up"))
        return ServiceStatus::up;
    if (status == QLatin1String("down"))
        return ServiceStatus::down;
    return ServiceStatus::unknown;
}

} // namespace

BeszelProvider::BeszelProvider(const AnySourceConfig &config, CredentialStoreHandle credentials,
                               std::shared_ptr<const HTTPClient> http)
    : m_config(requireConfig<BeszelConfig>(config, SourceKind::beszel)), m_credentials(std::move(credentials)), m_http(std::move(http))
{
}

QCoro::Task<SourceSnapshot> BeszelProvider::fetch(CancelToken cancel)
{
    const QString token = co_await m_credentials->require(m_config.tokenRef);
    cancel.throwIfCancelled();

    // Both requests run at once. The drives request has its own cancel source so that a failed
    // systems request can stop it; both tasks are always awaited to their end.
    CancelSource drivesCancel;
    const CancelRegistration linked = cancel.onCancel([&drivesCancel] { drivesCancel.cancel(); });
    auto systemsTask = fetchCollection(QStringLiteral("systems"), token, cancel);
    auto drivesTask = fetchOptionalCollection(QStringLiteral("smart_devices"), token, drivesCancel.token());

    QByteArray systems;
    std::exception_ptr systemsError;
    try {
        systems = co_await std::move(systemsTask);
    } catch (...) {
        systemsError = std::current_exception();
        drivesCancel.cancel();
    }
    const std::optional<QByteArray> drives = co_await std::move(drivesTask);
    if (systemsError)
        std::rethrow_exception(systemsError);
    cancel.throwIfCancelled();

    SourceSnapshot snapshot{m_config.id, Instant::now(), {}};
    for (const HostStats &host : makeHostStats(systems, drives))
        snapshot.widgets.append(WidgetData::host(host));
    co_return snapshot;
}

QCoro::Task<QByteArray> BeszelProvider::fetchCollection(QString collection, QString token, CancelToken cancel)
{
    const auto url =
        requestURL(m_config.baseURL, QStringLiteral("/api/collections/%1/records?perPage=200").arg(collection));
    if (!url)
        throw ProviderError::misconfigured(QStringLiteral("bad base URL: ") + m_config.baseURL);
    HTTPRequest request = url->request();
    request.setHeader("Authorization", "Bearer " + token.toUtf8());
    const HTTPResult result = co_await m_http->data(request, cancel);
    checkHTTPStatus(result.response);
    co_return result.body;
}

QCoro::Task<std::optional<QByteArray>> BeszelProvider::fetchOptionalCollection(QString collection, QString token,
                                                                               CancelToken cancel)
{
    std::optional<QByteArray> body;
    try {
        body = co_await fetchCollection(collection, token, cancel);
    } catch (...) {
        // Temperatures are extras: without them the hosts still show.
    }
    co_return body;
}

QList<HostStats> BeszelProvider::makeHostStats(const QByteArray &systemsBody,
                                               const std::optional<QByteArray> &smartDevicesBody)
{
    const DriveMap temps = smartDevicesBody ? driveMap(*smartDevicesBody) : DriveMap();
    QList<HostStats> hosts;
    for (const QJsonObject &record : records(systemsBody))
        hosts.append(hostStats(record, temps));
    return hosts;
}

HostStats BeszelProvider::hostStats(const QJsonObject &record, const DriveMap &temps)
{
    HostStats host;
    host.id = text(record, QStringLiteral("id")).value_or(QString());
    host.name = text(record, QStringLiteral("name"))
                    .value_or(text(record, QStringLiteral("host")).value_or(QStringLiteral("unknown")));
    host.status = systemStatus(record);
    if (const auto info = infoObject(record)) {
        host.cpuPct = number(*info, QStringLiteral("cpu"));
        host.memPct = number(*info, QStringLiteral("mp"));
        host.diskPct = number(*info, QStringLiteral("dp"));
    }
    host.temps = temps.value(host.id);
    return host;
}

} // namespace marrowick
