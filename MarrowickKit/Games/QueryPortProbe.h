#pragma once

#include "MarrowickKit/Games/GameDefinition.h"
#include "MarrowickKit/Games/GameFacts.h"

#include <QList>

#include <QCoro/QCoroTask>

#include <functional>
#include <optional>

namespace marrowick {

// Where a Steam-query game may answer: the configured query port alone, or else the port that
// answered last, the game port plus each offset, and the game's fixed query port, without
// duplicates.
QList<quint16> queryPortCandidates(quint16 gamePort, const GameDefinition &game, std::optional<quint16> queryPort,
                                   std::optional<quint16> rememberedPort);

struct ProbeResult {
    GameFacts facts;
    quint16 port = 0;
};

using PortQuery = std::function<QCoro::Task<GameFacts>(quint16 port)>;

// Tries the candidates in order, then the first once more. A silent or refusing port moves on;
// a bad reply, an unknown or unreachable host, a configuration fault or a cancellation ends
// the probe at once.
QCoro::Task<ProbeResult> probeQueryPorts(QList<quint16> candidates, PortQuery query);

} // namespace marrowick
