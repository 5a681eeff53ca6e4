#pragma once

#include "MarrowickKit/Transport/ByteChannel.h"
#include "MarrowickKit/Async/Cancellation.h"
#include "MarrowickKit/Games/GameFacts.h"
#include "MarrowickKit/Transport/SRVResolver.h"
#include "MarrowickKit/Async/Sleep.h"

#include <QByteArray>
#include <QString>

#include <QCoro/QCoroTask>

#include <memory>
#include <optional>

namespace marrowick {

// The Minecraft Java server list ping: handshake and status request over one TCP connection,
// one reply packet carrying a JSON status document.
namespace MinecraftSLP {

struct Target {
    QString host;
    quint16 port = 0;
    bool operator==(const Target &) const = default;
};

inline constexpr quint16 defaultPort = 25565;
inline constexpr qint64 protocolVersion = 754;
inline constexpr qint64 maxStatusLength = 524288;
inline constexpr int maxVarIntBytes = 5;

// Follows the "_minecraft._tcp." SRV record of a host name on the default port, as game
// clients do; any other host and port, or no record, is used as given.
QCoro::Task<Target> resolveTarget(QString host, quint16 port, std::shared_ptr<const SRVResolver> resolver,
                                  CancelToken cancel = {});

// The exchange raced against `timeout` seconds of `sleep`; when the time runs out first the
// channel is closed and "timed out" thrown. Both sides have ended when this returns; the
// caller still owns and closes the channel.
QCoro::Task<GameFacts> status(QString host, quint16 port, double timeout, ByteChannel *channel,
                              SleepFunction sleep, CancelToken cancel = {});

// The request and the reply over the channel, without a time limit of its own.
QCoro::Task<GameFacts> exchange(ByteChannel *channel, QString host, quint16 port);

QByteArray handshake(const QString &host, quint16 port);
QByteArray varInt(quint64 value);
// At most five bytes; a longer VarInt throws "varint too long".
QCoro::Task<qint64> readVarInt(ByteChannel *channel);
std::optional<GameFacts> parseStatus(const QByteArray &json);

} // namespace MinecraftSLP

} // namespace marrowick
