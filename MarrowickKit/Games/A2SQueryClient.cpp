#include "MarrowickKit/Games/A2SQueryClient.h"

#include "MarrowickKit/Model/DecimalText.h"
#include "MarrowickKit/Model/ProviderError.h"

#include <QMap>

namespace marrowick {

A2SReplyError::A2SReplyError(QString reason) : m_reason(std::move(reason)), m_what(m_reason.toUtf8()) {}

namespace A2SWire {

namespace {

const QByteArray simpleHeader("\xFF\xFF\xFF\xFF", 4);
const QByteArray splitHeader("\xFE\xFF\xFF\xFF", 4);
constexpr char infoType = 0x49;
constexpr char playerType = 0x44;
constexpr char challengeType = 0x41;
constexpr quint32 noChallenge = 0xFFFFFFFF;

A2SReplyError malformed()
{
    return A2SReplyError(QStringLiteral("malformed reply"));
}

ProviderError timedOut()
{
    return ProviderError::upstream(QStringLiteral("timed out"));
}

quint32 readLE32(const QByteArray &bytes, qsizetype at)
{
    quint32 value = 0;
    for (int i = 3; i >= 0; --i)
        value = (value << 8) | quint8(bytes.at(at + i));
    return value;
}

void appendLE32(QByteArray &bytes, quint32 value)
{
    for (int i = 0; i < 4; ++i)
        bytes.append(char((value >> (8 * i)) & 0xFF));
}

// Reads fields front to back; every read checks what is left and fails instead of overrunning.
class ReplyReader {
public:
    ReplyReader(const QByteArray &bytes, qsizetype position) : m_bytes(bytes), m_position(position) {}

    qsizetype remaining() const { return m_bytes.size() - m_position; }

    bool skip(qsizetype count)
    {
        if (count > remaining())
            return false;
        m_position += count;
        return true;
    }

    std::optional<quint8> byte()
    {
        if (remaining() < 1)
            return std::nullopt;
        return quint8(m_bytes.at(m_position++));
    }

    // A text up to its 0x00, which is consumed; nothing when unterminated. Servers cut names at
    // a byte limit, often inside a character, and older ones send Latin-1: bytes that are not
    // UTF-8 become U+FFFD rather than costing the server its status or its players.
    std::optional<QString> text()
    {
        const qsizetype end = m_bytes.indexOf('\0', m_position);
        if (end < 0)
            return std::nullopt;
        QString decoded = QString::fromUtf8(QByteArrayView(m_bytes).sliced(m_position, end - m_position));
        m_position = end + 1;
        return decoded;
    }

private:
    const QByteArray &m_bytes;
    qsizetype m_position;
};

// The keywords of the extra-data block that follows the VAC byte, when they can be read.
std::optional<QString> infoKeywords(ReplyReader &reader)
{
    if (!reader.text()) // version
        return std::nullopt;
    const auto flags = reader.byte();
    if (!flags)
        return std::nullopt;
    if ((*flags & 0x80) && !reader.skip(2)) // game port
        return std::nullopt;
    if ((*flags & 0x10) && !reader.skip(8)) // Steam id
        return std::nullopt;
    if (*flags & 0x40) { // spectator port and name
        if (!reader.skip(2) || !reader.text())
            return std::nullopt;
    }
    std::optional<QString> keywords;
    if (*flags & 0x20) {
        keywords = reader.text();
        if (!keywords)
            return std::nullopt;
    }
    if ((*flags & 0x01) && !reader.skip(8)) // game id: a block cut short is not trusted
        return std::nullopt;
    return keywords;
}

std::optional<qint64> keywordCount(const QString &piece, QLatin1String prefix)
{
    if (!piece.startsWith(prefix))
        return std::nullopt;
    const auto value = parseDecimalInt64(QStringView(piece).mid(prefix.size()));
    if (!value || *value < 0)
        return std::nullopt;
    return value;
}

// The next datagram of the exchange, unless its deadline has passed or the poll was cancelled.
QCoro::Task<QByteArray> nextDatagram(UDPSession *session, Deadline deadline, CancelToken cancel)
{
    cancel.throwIfCancelled();
    if (deadline.reached())
        throw timedOut();
    QByteArray datagram = co_await session->receive();
    cancel.throwIfCancelled();
    co_return datagram;
}

// The loop shared by both requests: answer up to three challenges, assemble split replies.
QCoro::Task<InfoExchange> requestLoop(UDPSession *session, Deadline deadline, std::optional<quint32> challenge,
                                      bool players, CancelToken cancel)
{
    const auto build = [players](std::optional<quint32> current) {
        return players ? playerRequest(current.value_or(noChallenge)) : infoRequest(current);
    };
    int challenges = 0;
    co_await session->send(build(challenge));
    for (;;) {
        const QByteArray datagram = co_await nextDatagram(session, deadline, cancel);
        const Packet packet = parse(datagram);
        QByteArray reply;
        if (const auto *split = std::get_if<SplitPacket>(&packet)) {
            reply = co_await collectSplit(*split, session, deadline, cancel);
        } else {
            reply = std::get<SimplePacket>(packet).bytes;
        }
        if (reply.size() < 5 || reply.at(4) != challengeType)
            co_return InfoExchange{reply, challenge};
        if (reply.size() < 9)
            throw malformed();
        if (challenges == maxChallenges)
            throw A2SReplyError(QStringLiteral("challenge loop exceeded"));
        ++challenges;
        challenge = readLE32(reply, 5);
        co_await session->send(build(challenge));
    }
}

GameFacts withPlayers(GameFacts facts, const QStringList &names, bool playerCountInKeywords)
{
    if (names.isEmpty())
        return facts;
    QStringList named;
    for (const auto &name : names) {
        if (!name.isEmpty())
            named.append(name);
    }
    facts.playerNames = named;
    if (!playerCountInKeywords)
        facts.playersCurrent = names.size();
    return facts;
}

QCoro::Task<GameFacts> exchange(UDPSession *session, bool queriesPlayers, bool playerCountInKeywords,
                                MonotonicClock clock, CancelToken cancel)
{
    const Deadline deadline{clock() + exchangeSeconds, clock};
    const InfoExchange info = co_await requestInfo(session, deadline, std::nullopt, cancel);
    auto facts = parseInfo(info.reply, playerCountInKeywords);
    if (!facts)
        throw malformed();
    if (!queriesPlayers)
        co_return *facts;
    // Many servers refuse or garble the player list; the info alone is still a good answer.
    QStringList names;
    try {
        names = co_await requestPlayers(session, deadline, info.challenge, cancel);
    } catch (const CancellationError &) {
        throw;
    } catch (...) {
        names.clear();
    }
    cancel.throwIfCancelled();
    co_return withPlayers(*facts, names, playerCountInKeywords);
}

} // namespace

QByteArray infoRequest(std::optional<quint32> challenge)
{
    QByteArray request = simpleHeader;
    request.append(char(0x54));
    request.append("Source Engine Query", 19);
    request.append('\0');
    if (challenge)
        appendLE32(request, *challenge);
    return request;
}

QByteArray playerRequest(quint32 challenge)
{
    QByteArray request = simpleHeader;
    request.append(char(0x55));
    appendLE32(request, challenge);
    return request;
}

Packet parse(const QByteArray &datagram)
{
    if (datagram.size() < 4)
        throw malformed();
    if (datagram.startsWith(simpleHeader))
        return SimplePacket{datagram};
    if (!datagram.startsWith(splitHeader) || datagram.size() < 12)
        throw malformed();
    if (quint8(datagram.at(7)) & 0x80)
        throw A2SReplyError(QStringLiteral("compressed reply not supported"));
    const int total = quint8(datagram.at(8));
    const int number = quint8(datagram.at(9));
    if (total < 1 || total > maxSplitParts || number >= total)
        throw malformed();
    return SplitPacket{readLE32(datagram, 4), total, number, datagram.sliced(12)};
}

QCoro::Task<QByteArray> collectSplit(SplitPacket first, UDPSession *session, Deadline deadline, CancelToken cancel)
{
    QMap<int, QByteArray> parts{{first.number, first.payload}};
    qint64 byteCount = first.payload.size();
    int datagramCount = 1;
    while (parts.size() < first.total) {
        const QByteArray datagram = co_await nextDatagram(session, deadline, cancel);
        const Packet packet = parse(datagram);
        const auto *part = std::get_if<SplitPacket>(&packet);
        if (!part || part->id != first.id || part->total != first.total)
            throw malformed();
        byteCount += part->payload.size();
        if (byteCount > maxSplitBytes)
            throw A2SReplyError(QStringLiteral("reply too large"));
        parts.insert(part->number, part->payload);
        if (parts.size() == first.total)
            break;
        if (++datagramCount >= maxSplitParts)
            throw malformed();
    }
    QByteArray joined;
    for (int number = 0; number < first.total; ++number) {
        const auto found = parts.constFind(number);
        if (found == parts.cend())
            throw malformed();
        joined.append(*found);
    }
    if (joined.startsWith(simpleHeader))
        joined.remove(0, 4);
    co_return simpleHeader + joined;
}

QCoro::Task<InfoExchange> requestInfo(UDPSession *session, Deadline deadline, std::optional<quint32> challenge,
                                      CancelToken cancel)
{
    return requestLoop(session, std::move(deadline), challenge, false, std::move(cancel));
}

QCoro::Task<QStringList> requestPlayers(UDPSession *session, Deadline deadline, std::optional<quint32> challenge,
                                        CancelToken cancel)
{
    const InfoExchange exchanged = co_await requestLoop(session, deadline, challenge, true, cancel);
    auto names = parsePlayers(exchanged.reply);
    if (!names)
        throw malformed();
    co_return *names;
}

std::optional<GameFacts> parseInfo(const QByteArray &reply, bool playerCountInKeywords)
{
    if (reply.size() < 6 || !reply.startsWith(simpleHeader) || reply.at(4) != infoType)
        return std::nullopt;
    ReplyReader reader(reply, 6);
    const auto name = reader.text();
    if (!name || !reader.text() || !reader.text() || !reader.text() || !reader.skip(2))
        return std::nullopt;
    const auto players = reader.byte();
    const auto maxPlayers = reader.byte();
    if (!players || !maxPlayers || !reader.skip(1) || !reader.skip(4))
        return std::nullopt;
    GameFacts facts{*players, *maxPlayers, {}, *name};
    if (!playerCountInKeywords)
        return facts;
    if (const auto keywords = infoKeywords(reader)) {
        const auto counts = keywordCounts(*keywords);
        if (counts.current)
            facts.playersCurrent = counts.current;
        if (counts.max)
            facts.playersMax = counts.max;
    }
    return facts;
}

std::optional<QStringList> parsePlayers(const QByteArray &reply)
{
    if (reply.size() < 6 || !reply.startsWith(simpleHeader) || reply.at(4) != playerType)
        return std::nullopt;
    const int declared = quint8(reply.at(5));
    QStringList names;
    ReplyReader reader(reply, 6);
    while (names.size() < declared) {
        if (reader.remaining() < 2)
            break;
        reader.skip(1); // index
        const auto name = reader.text();
        if (!name || reader.remaining() < 8)
            break;
        names.append(*name);
        reader.skip(8); // score and duration
    }
    return names;
}

KeywordCounts keywordCounts(const QString &keywords)
{
    KeywordCounts counts;
    const auto pieces = keywords.split(QLatin1Char(','), Qt::SkipEmptyParts);
    for (const auto &piece : pieces) {
        if (const auto current = keywordCount(piece, QLatin1String("cp")))
            counts.current = current;
        if (const auto max = keywordCount(piece, QLatin1String("mp")))
            counts.max = max;
    }
    return counts;
}

QCoro::Task<GameFacts> queryPort(QString host, quint16 port, std::shared_ptr<const UDPTransport> udp,
                                 bool queriesPlayers, bool playerCountInKeywords, MonotonicClock clock,
                                 CancelToken cancel)
{
    auto session = co_await udp->session(host, port, datagramTimeout, cancel);
    try {
        GameFacts facts = co_await exchange(session.get(), queriesPlayers, playerCountInKeywords, clock, cancel);
        session->close();
        co_return facts;
    } catch (...) {
        session->close();
        throw;
    }
}

} // namespace A2SWire

} // namespace marrowick
