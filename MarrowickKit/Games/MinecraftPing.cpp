#include "MarrowickKit/Games/MinecraftPing.h"

#include "MarrowickKit/Async/Completion.h"
#include "MarrowickKit/Games/GameJSONReaders.h"
#include "MarrowickKit/Model/ProviderError.h"

#include <QJsonDocument>

namespace marrowick {

namespace MinecraftSLP {

namespace {

bool wantsSRVLookup(const QString &host, quint16 port)
{
    return port == defaultPort && isHostName(host) && !host.toLower().endsWith(QLatin1String(".local"));
}

// One side of the race in `status`: reports its outcome to `first`, then says it has ended.
QCoro::Task<void> runExchange(ByteChannel *channel, QString host, quint16 port, Completion<GameFacts> first,
                              Completion<Done> ended)
{
    try {
        GameFacts facts = co_await exchange(channel, host, port);
        first.complete(std::move(facts));
    } catch (...) {
        first.fail(std::current_exception());
    }
    ended.complete({});
}

QCoro::Task<void> runTimer(SleepFunction sleep, double timeout, ByteChannel *channel, CancelToken stop,
                           Completion<GameFacts> first, Completion<Done> ended)
{
    try {
        co_await sleep(timeout, stop);
    } catch (...) {
        // A sleep never throws; should one do so, the exchange alone decides.
    }
    if (!stop.isCancelled() && !first.isDone()) {
        channel->close();
        first.fail(ProviderError::upstream(QStringLiteral("timed out")));
    }
    ended.complete({});
}

QByteArray packet(const QByteArray &body)
{
    return varInt(quint64(body.size())) + body;
}

} // namespace

QCoro::Task<Target> resolveTarget(QString host, quint16 port, std::shared_ptr<const SRVResolver> resolver,
                                  CancelToken cancel)
{
    if (!wantsSRVLookup(host, port))
        co_return Target{host, port};
    const auto record = co_await resolver->resolve(QStringLiteral("_minecraft._tcp.") + host, cancel);
    cancel.throwIfCancelled();
    if (!record)
        co_return Target{host, port};
    co_return Target{record->host, record->port};
}

QCoro::Task<GameFacts> status(QString host, quint16 port, double timeout, ByteChannel *channel,
                              SleepFunction sleep, CancelToken cancel)
{
    Completion<GameFacts> first;
    Completion<Done> exchangeEnded;
    Completion<Done> timerEnded;
    CancelSource stopTimer;
    const auto registration = cancel.onCancel([stopTimer]() mutable { stopTimer.cancel(); });
    runExchange(channel, host, port, first, exchangeEnded);
    runTimer(sleep, timeout, channel, stopTimer.token(), first, timerEnded);

    std::exception_ptr failure;
    GameFacts facts;
    try {
        facts = co_await first;
    } catch (...) {
        failure = std::current_exception();
    }
    // Like a task group: the loser is stopped and awaited, so nothing outlives the channel.
    stopTimer.cancel();
    co_await timerEnded;
    co_await exchangeEnded;
    if (failure)
        std::rethrow_exception(failure);
    co_return facts;
}

QCoro::Task<GameFacts> exchange(ByteChannel *channel, QString host, quint16 port)
{
    co_await channel->send(handshake(host, port));
    co_await readVarInt(channel); // packet length: the JSON length below bounds the read
    const qint64 packetID = co_await readVarInt(channel);
    if (packetID != 0)
        throw ProviderError::upstream(QStringLiteral("unexpected packet id"));
    const qint64 length = co_await readVarInt(channel);
    if (length > maxStatusLength)
        throw ProviderError::upstream(QStringLiteral("status reply too large"));
    const QByteArray json = co_await channel->read(length);
    auto facts = parseStatus(json);
    if (!facts)
        throw ProviderError::upstream(QStringLiteral("malformed reply"));
    co_return *facts;
}

QByteArray handshake(const QString &host, quint16 port)
{
    const QByteArray address = host.toUtf8();
    QByteArray body;
    body.append('\0'); // handshake packet id
    body.append(varInt(protocolVersion));
    body.append(varInt(quint64(address.size())));
    body.append(address);
    body.append(char(port >> 8));
    body.append(char(port & 0xFF));
    body.append(varInt(1)); // next state: status
    const QByteArray statusRequest("\x01\x00", 2);
    return packet(body) + statusRequest;
}

QByteArray varInt(quint64 value)
{
    QByteArray bytes;
    do {
        quint8 group = value & 0x7F;
        value >>= 7;
        if (value != 0)
            group |= 0x80;
        bytes.append(char(group));
    } while (value != 0);
    return bytes;
}

QCoro::Task<qint64> readVarInt(ByteChannel *channel)
{
    quint64 value = 0;
    for (int index = 0; index < maxVarIntBytes; ++index) {
        const QByteArray bytes = co_await channel->read(1);
        if (bytes.size() != 1)
            throw ProviderError::upstream(QStringLiteral("eof"));
        const quint8 byte = quint8(bytes.at(0));
        value |= quint64(byte & 0x7F) << (7 * index);
        if (!(byte & 0x80))
            co_return qint64(value);
    }
    throw ProviderError::upstream(QStringLiteral("varint too long"));
}

std::optional<GameFacts> parseStatus(const QByteArray &json)
{
    QJsonParseError error;
    const auto document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    const QJsonObject root = document.object();
    const auto players = jsonObject(root.value(QStringLiteral("players")));
    const auto version = jsonObject(root.value(QStringLiteral("version")));
    GameFacts facts;
    facts.playersCurrent = intValue(jsonMember(players, QStringLiteral("online")));
    facts.playersMax = intValue(jsonMember(players, QStringLiteral("max")));
    if (const auto sample = jsonMember(players, QStringLiteral("sample")))
        facts.playerNames = playerNames(jsonObjectArray(*sample));
    facts.detail = stringValue(jsonMember(version, QStringLiteral("name"))).value_or(QString());
    return facts;
}

} // namespace MinecraftSLP

} // namespace marrowick
