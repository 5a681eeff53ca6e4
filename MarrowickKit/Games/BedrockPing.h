#pragma once

#include "MarrowickKit/Async/Cancellation.h"
#include "MarrowickKit/Games/GameFacts.h"
#include "MarrowickKit/Transport/UDPTransport.h"

#include <QByteArray>
#include <QString>

#include <QCoro/QCoroTask>

#include <memory>
#include <optional>

namespace marrowick {

// The RakNet unconnected ping that Minecraft Bedrock servers answer with a status text.
inline constexpr double bedrockPingTimeout = 2.0;

QCoro::Task<GameFacts> bedrockPing(QString host, quint16 port, std::shared_ptr<const UDPTransport> udp,
                                   CancelToken cancel = {});
QByteArray bedrockPingRequest(quint64 time, quint64 guid);
std::optional<GameFacts> parseBedrockPong(const QByteArray &datagram);

} // namespace marrowick
