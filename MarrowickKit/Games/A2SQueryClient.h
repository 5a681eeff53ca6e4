#pragma once

#include "MarrowickKit/Async/Cancellation.h"
#include "MarrowickKit/Games/GameFacts.h"
#include "MarrowickKit/Async/MonotonicClock.h"
#include "MarrowickKit/Transport/UDPTransport.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <QCoro/QCoroTask>

#include <exception>
#include <memory>
#include <optional>
#include <variant>

namespace marrowick {

// A Steam query reply that arrived but cannot be used. Its reason is what the user sees; the
// port probe stops on it, since the server did answer on that port.
class A2SReplyError : public std::exception {
public:
    explicit A2SReplyError(QString reason);

    const QString &reason() const { return m_reason; }
    QString errorDescription() const { return m_reason; }
    const char *what() const noexcept override { return m_what.constData(); }

    bool operator==(const A2SReplyError &other) const { return m_reason == other.m_reason; }

private:
    QString m_reason;
    QByteArray m_what;
};

// The Steam server query (Source variant): byte formats, request loops with challenges,
// reassembly of split replies, and the per-port query.
namespace A2SWire {

// A datagram with the FF FF FF FF header; `bytes` is the whole datagram.
struct SimplePacket {
    QByteArray bytes;
    bool operator==(const SimplePacket &) const = default;
};

// One part of a reply split over several datagrams.
struct SplitPacket {
    quint32 id = 0;
    int total = 0;
    int number = 0;
    QByteArray payload;
    bool operator==(const SplitPacket &) const = default;
};

using Packet = std::variant<SimplePacket, SplitPacket>;

// The instant of the monotonic clock after which no further datagram is awaited.
struct Deadline {
    double at = 0;
    MonotonicClock clock;

    bool reached() const { return clock() >= at; }
};

// A reply of the info request and the challenge that was last sent with it.
struct InfoExchange {
    QByteArray reply;
    std::optional<quint32> challenge;
};

struct KeywordCounts {
    std::optional<qint64> current;
    std::optional<qint64> max;
    bool operator==(const KeywordCounts &) const = default;
};

// Limits that keep a lying or hostile server from making us wait or allocate without bound.
inline constexpr int maxSplitParts = 32;
inline constexpr qint64 maxSplitBytes = 65536;
inline constexpr int maxChallenges = 3;
inline constexpr double datagramTimeout = 2.0;
inline constexpr double exchangeSeconds = 10.0;

QByteArray infoRequest(std::optional<quint32> challenge);
// FF FF FF FF as the challenge asks the server for one.
QByteArray playerRequest(quint32 challenge);

// Throws A2SReplyError for anything that is neither a whole reply nor a valid split part.
Packet parse(const QByteArray &datagram);

// Receives the remaining parts of a split reply and returns it in the form of a simple one.
QCoro::Task<QByteArray> collectSplit(SplitPacket first, UDPSession *session, Deadline deadline,
                                     CancelToken cancel = {});

QCoro::Task<InfoExchange> requestInfo(UDPSession *session, Deadline deadline,
                                      std::optional<quint32> challenge = std::nullopt, CancelToken cancel = {});
QCoro::Task<QStringList> requestPlayers(UDPSession *session, Deadline deadline, std::optional<quint32> challenge,
                                        CancelToken cancel = {});

std::optional<GameFacts> parseInfo(const QByteArray &reply, bool playerCountInKeywords);
// The names read before the data ran out; a short list is not an error.
std::optional<QStringList> parsePlayers(const QByteArray &reply);
KeywordCounts keywordCounts(const QString &keywords);

// Info, then (when asked for) the player list, on one port; the session is closed on every path.
QCoro::Task<GameFacts> queryPort(QString host, quint16 port, std::shared_ptr<const UDPTransport> udp,
                                 bool queriesPlayers, bool playerCountInKeywords,
                                 MonotonicClock clock = monotonicSeconds, CancelToken cancel = {});

} // namespace A2SWire

} // namespace marrowick
