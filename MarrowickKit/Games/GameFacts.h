#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace marrowick {

// What every game query hands to the game-server provider.
struct GameFacts {
    std::optional<qint64> playersCurrent;
    std::optional<qint64> playersMax;
    // In the server's order; empty when unknown.
    QStringList playerNames;
    // A server name or version for the widget's detail line.
    QString detail;

    bool operator==(const GameFacts &) const = default;
};

} // namespace marrowick
