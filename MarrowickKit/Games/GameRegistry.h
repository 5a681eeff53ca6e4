#pragma once

#include "MarrowickKit/Games/GameDefinition.h"

#include <QList>

#include <optional>

namespace marrowick {

// The fixed catalogue of watchable games, compiled in and never changed at run time.
class GameRegistry {
public:
    GameRegistry() = delete;

    static QString defaultGameID();
    // Every row, in table order; built once on first use.
    static const QList<GameDefinition> &all();
    // The first row whose id equals `id` exactly.
    static std::optional<GameDefinition> game(const QString &id);

private:
    static QList<GameDefinition> makeTable();
};

} // namespace marrowick
