#pragma once

#include "Marrowick/Popover/RowChrome.h"
#include "MarrowickKit/Model/WidgetData.h"

#include <QWidget>

#include <optional>

class QLabel;

namespace marrowick {

class RowTrailing;
class StatusOrb;

// "3/20 players", "—/20 players", "3 players", "— players".
QString playersText(std::optional<qint64> current, std::optional<qint64> max);
// Up to three names; more give the first three and "+<rest>".
QString playerNamesText(const QStringList &names);

// A game server: green orb and player count while online, red orb and "Offline" otherwise.
class GameRowView : public QWidget {
    Q_OBJECT

public:
    GameRowView(const GameServerStatus &game, const QList<double> &history, const RowSettings &settings,
                QWidget *parent = nullptr);

    void set(const GameServerStatus &game, const QList<double> &history, const RowSettings &settings);

    // The players' names while online, else the server's detail; none when both are empty.
    static std::optional<QString> subtitle(const GameServerStatus &game);

private:
    StatusOrb *m_orb;
    QLabel *m_name;
    QLabel *m_subtitle;
    QLabel *m_players;
    RowTrailing *m_trailing;
};

} // namespace marrowick
