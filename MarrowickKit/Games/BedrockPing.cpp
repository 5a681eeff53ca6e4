#include "MarrowickKit/Games/BedrockPing.h"

#include "MarrowickKit/Model/DecimalText.h"
#include "MarrowickKit/Model/ProviderError.h"
#include "MarrowickKit/Model/StrictUtf8.h"

namespace marrowick {

namespace {

// The offline-message magic every RakNet peer puts in unconnected packets.
const QByteArray rakNetMagic("\x00\xFF\xFF\x00\xFE\xFE\xFE\xFE\xFD\xFD\xFD\xFD\x12\x34\x56\x78", 16);
constexpr quint64 clientGUID = 0x0123456789ABCDEFull;
constexpr char pingID = 0x01;
constexpr char pongID = 0x1C;
constexpr qsizetype magicOffset = 17;
constexpr qsizetype textOffset = 35;

void appendBigEndian64(QByteArray &bytes, quint64 value)
{
    for (int shift = 56; shift >= 0; shift -= 8)
        bytes.append(char((value >> shift) & 0xFF));
}

// A field of the status text; empty and missing fields are both absent.
std::optional<QString> field(const QStringList &fields, qsizetype index)
{
    if (index >= fields.size() || fields.at(index).isEmpty())
        return std::nullopt;
    return fields.at(index);
}

std::optional<qint64> numberField(const QStringList &fields, qsizetype index)
{
    const auto text = field(fields, index);
    return text ? parseDecimalInt64(*text) : std::nullopt;
}

} // namespace

QByteArray bedrockPingRequest(quint64 time, quint64 guid)
{
    QByteArray request(1, pingID);
    appendBigEndian64(request, time);
    request.append(rakNetMagic);
    appendBigEndian64(request, guid);
    return request;
}

std::optional<GameFacts> parseBedrockPong(const QByteArray &datagram)
{
    if (datagram.size() < textOffset || datagram.at(0) != pongID
        || datagram.sliced(magicOffset, rakNetMagic.size()) != rakNetMagic)
        return std::nullopt;
    const qsizetype stated = (qsizetype(quint8(datagram.at(33))) << 8) | quint8(datagram.at(34));
    const qsizetype length = std::min(stated, datagram.size() - textOffset);
    if (length < 1)
        return std::nullopt;
    const auto text = decodeStrictUtf8(QByteArrayView(datagram).sliced(textOffset, length));
    if (!text)
        return std::nullopt;
    const QStringList fields = text->split(QLatin1Char(';'));
    GameFacts facts;
    facts.playersCurrent = numberField(fields, 4);
    facts.playersMax = numberField(fields, 5);
    facts.detail = field(fields, 3).value_or(field(fields, 1).value_or(QString()));
    return facts;
}

QCoro::Task<GameFacts> bedrockPing(QString host, quint16 port, std::shared_ptr<const UDPTransport> udp,
                                   CancelToken cancel)
{
    const QByteArray reply =
        co_await udp->query(host, port, bedrockPingRequest(0, clientGUID), bedrockPingTimeout, cancel);
    auto facts = parseBedrockPong(reply);
    if (!facts)
        throw ProviderError::upstream(QStringLiteral("malformed reply"));
    co_return *facts;
}

} // namespace marrowick
