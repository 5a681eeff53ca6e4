#include "Marrowick/Popover/GameRowView.h"

#include "Marrowick/Popover/PopoverText.h"
#include "Marrowick/Popover/RowParts.h"
#include "Marrowick/Popover/RowTrailing.h"
#include "Marrowick/Style/StatusOrb.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>

namespace marrowick {

namespace {

// Counts come from game servers as 64-bit integers; a text of any of them is well defined.
QString countText(std::optional<qint64> count)
{
    return count ? QLocale().toString(*count) : QStringLiteral("\u2014");
}

ServiceStatus gameStatus(const GameServerStatus &game)
{
    return game.online ? ServiceStatus::up : ServiceStatus::down;
}

} // namespace

QString playersText(std::optional<qint64> current, std::optional<qint64> max)
{
    QString text = countText(current);
    if (max)
        text += QLatin1Char('/') + QLocale().toString(*max);
    return text + QStringLiteral(" players");
}

QString playerNamesText(const QStringList &names)
{
    if (names.size() < 4)
        return names.join(QStringLiteral(", "));
    return names.mid(0, 3).join(QStringLiteral(", ")) + QStringLiteral(" +") + QLocale().toString(names.size() - 3);
}

std::optional<QString> GameRowView::subtitle(const GameServerStatus &game)
{
    if (game.online && !game.playerNames.isEmpty())
        return playerNamesText(game.playerNames);
    if (!game.detail.isEmpty())
        return game.detail;
    return std::nullopt;
}

GameRowView::GameRowView(const GameServerStatus &game, const QList<double> &history, const RowSettings &settings,
                         QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("gameRow"));
    auto *layout = new QHBoxLayout(this);
    layout->setSpacing(10);
    m_orb = new StatusOrb(gameStatus(game), 8, this);
    layout->addWidget(m_orb);
    const NameBlock block = addNameBlock(layout, 1, this);
    m_name = block.name;
    m_subtitle = block.detail;
    addNameSpacer(layout);
    m_players = plainLabel(QString(), textFont(font(), TextStyle::caption, QFont::DemiBold), this);
    m_players->setObjectName(QStringLiteral("players"));
    setLabelColor(m_players, secondaryColor(palette()));
    layout->addWidget(m_players);
    m_trailing = new RowTrailing(gameStatus(game), QStringLiteral("Offline"), game.latencyMs, history, settings, this);
    addTrailing(layout, m_trailing);
    set(game, history, settings);
}

void GameRowView::set(const GameServerStatus &game, const QList<double> &history, const RowSettings &settings)
{
    applyRowChrome(layout(), settings);
    m_orb->setStatus(gameStatus(game));
    setLine(m_name, game.name);
    setOptionalLine(m_subtitle, subtitle(game));
    setOptionalLine(m_players, game.online ? std::optional(playersText(game.playersCurrent, game.playersMax))
                                           : std::nullopt);
    m_trailing->set(gameStatus(game), QStringLiteral("Offline"), game.latencyMs, history, settings);
}

} // namespace marrowick
