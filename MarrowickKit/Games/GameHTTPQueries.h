#pragma once

#include "MarrowickKit/Async/Cancellation.h"
#include "MarrowickKit/Games/GameFacts.h"
#include "MarrowickKit/Transport/HTTPClient.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QString>

#include <QCoro/QCoroTask>

#include <memory>
#include <optional>

namespace marrowick {

// The game servers that answer over HTTP in JSON: Palworld's REST interface, the FiveM / RedM
// endpoints and TShock's REST interface of Terraria.

// A GET of `path` (and `query`) on the host as configured; throws misconfigured
// "bad host \"<host>\"" when the host cannot be placed in a URL.
HTTPRequest gameRequest(const QString &host, quint16 port, bool useTLS, const QString &path,
                        const QString &query = {});

// Sends every request at once and waits for all. A 401 or 403 with a hint fails the whole
// query as a configuration fault; other failures only blank out their own body unless every
// request failed.
QCoro::Task<QList<std::optional<QByteArray>>> fetchJSON(QList<HTTPRequest> requests, std::optional<QString> authHint,
                                                        std::shared_ptr<const HTTPClient> http,
                                                        CancelToken cancel = {});

QCoro::Task<GameFacts> palworldQuery(QString host, quint16 port, QString password, bool useTLS,
                                     std::shared_ptr<const HTTPClient> http, CancelToken cancel = {});
QCoro::Task<GameFacts> fivemQuery(QString host, quint16 port, std::optional<QString> token, bool useTLS,
                                  std::shared_ptr<const HTTPClient> http, CancelToken cancel = {});
QCoro::Task<GameFacts> tshockQuery(QString host, quint16 port, bool useTLS, std::shared_ptr<const HTTPClient> http,
                                   CancelToken cancel = {});

// Each throws upstream "malformed reply" when it has no document at all.
GameFacts palworldFacts(const std::optional<QJsonObject> &info, const std::optional<QJsonObject> &players,
                        const std::optional<QJsonObject> &metrics);
GameFacts fivemFacts(const std::optional<QJsonObject> &info, const std::optional<QJsonArray> &players);
GameFacts tshockFacts(const std::optional<QJsonObject> &status);

} // namespace marrowick
