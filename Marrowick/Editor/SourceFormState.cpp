#include "Marrowick/Editor/SourceFormState.h"

#include "MarrowickKit/Games/GameRegistry.h"
#include "MarrowickKit/Model/PollInterval.h"

#include <QLocale>

#include <cmath>

namespace marrowick {

namespace {

QString defaultGamePort()
{
    return SourceFormState::defaultPort(GameRegistry::defaultGameID());
}

template<typename Enum>
std::optional<Enum> fromRawValue(const QList<Enum> &all, const QString &rawValue)
{
    for (const Enum value : all) {
        if (SourceFormState::rawValue(value) == rawValue)
            return value;
    }
    return std::nullopt;
}

bool isSpaceOrTab(QChar ch)
{
    return ch == QLatin1Char('\t') || ch.category() == QChar::Separator_Space;
}

} // namespace

SourceFormState::SourceFormState(SourceType type)
    : type(type), gameID(GameRegistry::defaultGameID()), pollSeconds(QString::number(defaultPollSeconds(type))),
      m_port(defaultGamePort())
{
}

SourceFormState::SourceFormState(const AnySourceConfig &config) : SourceFormState(typeOf(config))
{
    const SourceConfig &common = config.config();
    displayName = common.displayName;
    pollSeconds = QString::number(static_cast<qint64>(std::trunc(PollInterval::clamped(common.pollInterval))));
    alertsEnabled = common.alertsEnabled;
    alertThreshold = clampedAlertThreshold(common.alertThreshold);
    portEdited = true;
    storedCredentialRef = config.credentialRef();
    hasStoredSecret = storedCredentialRef.has_value();

    if (const auto *kuma = config.get<KumaConfig>()) {
        baseURL = kuma->baseURL;
        username = kuma->username.value_or(QString());
        statusPageSlug = kuma->statusPageSlug.value_or(QString());
    } else if (const auto *beszel = config.get<BeszelConfig>()) {
        baseURL = beszel->baseURL;
        hasStoredSecret = true;
    } else if (const auto *game = config.get<GameServerConfig>()) {
        gameID = game->gameID;
        host = game->host;
        m_port = QString::number(game->port);
        gameQueryPort = game->queryPort ? QString::number(*game->queryPort) : QString();
        useTLS = game->useTLS;
    } else if (const auto *http = config.get<HTTPPingConfig>()) {
        baseURL = http->url;
        expectedStatus = http->expectedStatus;
    } else if (const auto *tcp = config.get<TCPPortConfig>()) {
        host = tcp->host;
        m_port = QString::number(tcp->port);
    } else if (const auto *json = config.get<JSONWidgetConfig>()) {
        baseURL = json->url;
        jsonFields = json->fields;
    }
}

SourceFormState SourceFormState::exampleForm(Example example)
{
    switch (example) {
    case Example::statusPage: {
        SourceFormState form(SourceType::kuma);
        form.displayName = QStringLiteral("Status Page");
        form.baseURL = QStringLiteral("https://status.homelab.local");
        form.statusPageSlug = QStringLiteral("public");
        return form;
    }
    case Example::website: {
        SourceFormState form(SourceType::httpPing);
        form.displayName = QStringLiteral("Website");
        form.baseURL = QStringLiteral("https://example.com");
        return form;
    }
    case Example::minecraft:
        break;
    }
    SourceFormState form(SourceType::gameServer);
    form.displayName = QStringLiteral("Minecraft Server");
    form.host = QStringLiteral("minecraft.homelab.local");
    return form;
}

void SourceFormState::setPort(const QString &port)
{
    m_port = port;
    portEdited = true;
}

const QList<SourceFormState::SourceType> &SourceFormState::allTypes()
{
    static const QList<SourceType> types{SourceType::kuma,     SourceType::beszel,  SourceType::gameServer,
                                         SourceType::httpPing, SourceType::tcpPort, SourceType::jsonWidget};
    return types;
}

QString SourceFormState::rawValue(SourceType type)
{
    switch (type) {
    case SourceType::kuma:
        return QStringLiteral("kuma");
    case SourceType::beszel:
        return QStringLiteral("beszel");
    case SourceType::gameServer:
        return QStringLiteral("gameServer");
    case SourceType::httpPing:
        return QStringLiteral("httpPing");
    case SourceType::tcpPort:
        return QStringLiteral("tcpPort");
    case SourceType::jsonWidget:
        break;
    }
    return QStringLiteral("jsonWidget");
}

std::optional<SourceFormState::SourceType> SourceFormState::typeFromRawValue(const QString &rawValue)
{
    return fromRawValue(allTypes(), rawValue);
}

SourceFormState::SourceType SourceFormState::typeOf(const AnySourceConfig &config)
{
    // The cases of both enumerations stand in the same order.
    return static_cast<SourceType>(config.kind());
}

QString SourceFormState::title(SourceType type)
{
    switch (type) {
    case SourceType::kuma:
        return QStringLiteral("Uptime Kuma");
    case SourceType::beszel:
        return QStringLiteral("Beszel");
    case SourceType::gameServer:
        return QStringLiteral("Game Server");
    case SourceType::httpPing:
        return QStringLiteral("HTTP Ping");
    case SourceType::tcpPort:
        return QStringLiteral("TCP Port");
    case SourceType::jsonWidget:
        break;
    }
    return QStringLiteral("Custom JSON");
}

QString SourceFormState::subtitle(SourceType type)
{
    switch (type) {
    case SourceType::kuma:
        return QStringLiteral("Service state");
    case SourceType::beszel:
        return QStringLiteral("Server stats");
    case SourceType::gameServer:
        return QLocale().toString(GameRegistry::all().size()) + QStringLiteral(" games");
    case SourceType::httpPing:
        return QStringLiteral("Web checks");
    case SourceType::tcpPort:
        return QStringLiteral("Port listener");
    case SourceType::jsonWidget:
        break;
    }
    return QStringLiteral("API endpoint");
}

QString SourceFormState::systemImage(SourceType type)
{
    switch (type) {
    case SourceType::kuma:
        return QStringLiteral("waveform.path.ecg");
    case SourceType::beszel:
        return QStringLiteral("gauge.with.dots.needle.33percent");
    case SourceType::gameServer:
        return QStringLiteral("gamecontroller");
    case SourceType::httpPing:
        return QStringLiteral("globe");
    case SourceType::tcpPort:
        return QStringLiteral("network");
    case SourceType::jsonWidget:
        break;
    }
    return QStringLiteral("curlybraces");
}

int SourceFormState::defaultPollSeconds(SourceType type)
{
    return type == SourceType::beszel ? 30 : 60;
}

const QList<SourceFormState::Example> &SourceFormState::allExamples()
{
    static const QList<Example> examples{Example::statusPage, Example::website, Example::minecraft};
    return examples;
}

QString SourceFormState::rawValue(Example example)
{
    switch (example) {
    case Example::statusPage:
        return QStringLiteral("statusPage");
    case Example::website:
        return QStringLiteral("website");
    case Example::minecraft:
        break;
    }
    return QStringLiteral("minecraft");
}

std::optional<SourceFormState::Example> SourceFormState::exampleFromRawValue(const QString &rawValue)
{
    return fromRawValue(allExamples(), rawValue);
}

QString SourceFormState::title(Example example)
{
    return exampleForm(example).displayName;
}

QString SourceFormState::subtitle(Example example)
{
    return title(exampleForm(example).type);
}

QString SourceFormState::systemImage(Example example)
{
    switch (example) {
    case Example::statusPage:
        return QStringLiteral("checkmark.seal");
    case Example::website:
        return QStringLiteral("globe");
    case Example::minecraft:
        break;
    }
    return QStringLiteral("cube");
}

QString SourceFormState::fieldLinesText(const QList<FieldMapping> &fields)
{
    QStringList lines;
    for (const FieldMapping &field : fields)
        lines.append(field.label + QStringLiteral(" = ") + field.path);
    return lines.join(QLatin1Char('\n'));
}

QList<SourceFormState::FieldMapping> SourceFormState::parseFieldLines(const QString &text)
{
    QList<FieldMapping> fields;
    for (const QString &line : text.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        // "=" at the very start belongs to no piece; the first "=" after a character splits.
        qsizetype start = 0;
        while (start < line.size() && line.at(start) == QLatin1Char('='))
            ++start;
        const qsizetype split = line.indexOf(QLatin1Char('='), start);
        if (start == line.size() || split < 0 || split + 1 == line.size())
            continue;
        fields.append({trimmedSpacesAndTabs(line.mid(start, split - start)), trimmedSpacesAndTabs(line.mid(split + 1))});
    }
    return fields;
}

std::optional<GameDefinition> SourceFormState::game() const
{
    return GameRegistry::game(gameID);
}

GameDefinition::CredentialUse SourceFormState::gameCredentialUse() const
{
    if (type != SourceType::gameServer)
        return GameDefinition::CredentialUse::none;
    const auto found = game();
    return found ? found->credentialUse() : GameDefinition::CredentialUse::none;
}

std::optional<quint16> SourceFormState::parsedQueryPort() const
{
    return parsePortNumber(gameQueryPort.trimmed());
}

bool SourceFormState::queryPortIsInvalid() const
{
    return type == SourceType::gameServer && !gameQueryPort.trimmed().isEmpty() && !parsedQueryPort();
}

QString SourceFormState::defaultPort(const QString &gameID)
{
    const auto found = GameRegistry::game(gameID);
    return found ? QString::number(found->defaultPort()) : QStringLiteral("0");
}

void SourceFormState::setGameID(const QString &newID)
{
    const GameDefinition::CredentialUse useBefore = gameCredentialUse();
    const auto oldGame = game();
    const auto newGame = GameRegistry::game(newID);

    if (!portEdited)
        m_port = defaultPort(newID);
    gameID = newID;

    const bool sameEngine = (oldGame && newGame && oldGame->engine() == newGame->engine()) || (!oldGame && !newGame);
    if (gameCredentialUse() != useBefore || !sameEngine) {
        secret.clear();
        hasStoredSecret = false;
    }
}

QList<SourceFormState::GameSection> SourceFormState::gameSections(const QString &search, const QString &selected)
{
    const QString text = trimmedSpacesAndTabs(search);
    QList<GameSection> sections;
    for (const GameDefinition &game : GameRegistry::all()) {
        const bool included = text.isEmpty() || game.displayName().contains(text, Qt::CaseInsensitive)
                              || game.id().contains(text, Qt::CaseInsensitive) || game.id() == selected;
        if (!included)
            continue;
        const QString heading = game.familyName();
        auto section = std::find_if(sections.begin(), sections.end(),
                                    [&heading](const GameSection &candidate) { return candidate.title == heading; });
        if (section == sections.end())
            sections.append({heading, {game}});
        else
            section->games.append(game);
    }
    return sections;
}

std::optional<quint16> parsePortNumber(QStringView text)
{
    if (text.startsWith(QLatin1Char('+')))
        text = text.mid(1);
    if (text.isEmpty())
        return std::nullopt;
    qint64 value = 0;
    for (const QChar ch : text) {
        if (ch < QLatin1Char('0') || ch > QLatin1Char('9'))
            return std::nullopt;
        value = value * 10 + (ch.unicode() - '0');
        if (value > 65535)
            return std::nullopt;
    }
    if (value == 0)
        return std::nullopt;
    return static_cast<quint16>(value);
}

QString trimmedSpacesAndTabs(const QString &text)
{
    qsizetype start = 0;
    qsizetype end = text.size();
    while (start < end && isSpaceOrTab(text.at(start)))
        ++start;
    while (end > start && isSpaceOrTab(text.at(end - 1)))
        --end;
    return text.mid(start, end - start);
}

} // namespace marrowick
