#include "MarrowickKit/Transport/DNSSDSRVResolver.h"

#include "MarrowickKit/Model/ProviderError.h"
#include "MarrowickKit/Model/StrictUtf8.h"

#include <QStringList>

#include <arpa/inet.h>
#include <arpa/nameser.h>
#include <netdb.h>
#include <netinet/in.h>
#include <resolv.h>

#include <algorithm>
#include <vector>

namespace marrowick {

namespace {

constexpr int maxLabelLength = 63;

// The record data with its target name expanded out of the message's name compression.
std::optional<QByteArray> expandedRecordData(const ns_msg &message, const ns_rr &record)
{
    const int length = ns_rr_rdlen(record);
    if (length < 7)
        return std::nullopt;
    unsigned char name[NS_MAXCDNAME];
    if (ns_name_unpack(ns_msg_base(message), ns_msg_end(message), ns_rr_rdata(record) + 6, name, sizeof name) < 0)
        return std::nullopt;
    int nameLength = 0;
    while (nameLength < NS_MAXCDNAME && name[nameLength] != 0)
        nameLength += name[nameLength] + 1;
    QByteArray data(reinterpret_cast<const char *>(ns_rr_rdata(record)), 6);
    data.append(reinterpret_cast<const char *>(name), std::min(nameLength + 1, NS_MAXCDNAME));
    return data;
}

std::optional<SRVRecord> firstSRVAnswer(const unsigned char *answer, int length)
{
    ns_msg message;
    if (ns_initparse(answer, length, &message) < 0)
        return std::nullopt;
    for (int i = 0; i < ns_msg_count(message, ns_s_an); ++i) {
        ns_rr record;
        if (ns_parserr(&message, ns_s_an, i, &record) < 0)
            return std::nullopt;
        if (ns_rr_type(record) != ns_t_srv)
            continue;
        const auto data = expandedRecordData(message, record);
        return data ? parseSRVRecordData(*data) : std::nullopt;
    }
    return std::nullopt;
}

// What one query found: a record or none, when a server answered (an absent name or record is
// an answer too); nothing, when none did.
struct Queried {
    std::optional<SRVRecord> record;
    bool answered = false;
};

// Runs on a lookup thread: the blocking query, with the resolver's own time-outs and retries.
Queried querySRV(const QByteArray &name, quint32 serverIPv4, quint16 port)
{
    struct __res_state state {};
    if (res_ninit(&state) != 0)
        return {};
    if (serverIPv4 != 0) {
        state.nscount = 1;
        state.nsaddr_list[0].sin_family = AF_INET;
        state.nsaddr_list[0].sin_addr.s_addr = htonl(serverIPv4);
        state.nsaddr_list[0].sin_port = htons(port);
    }
    std::vector<unsigned char> answer(NS_MAXMSG);
    const int length = res_nquery(&state, name.constData(), ns_c_in, ns_t_srv, answer.data(),
                                  static_cast<int>(answer.size()));
    Queried queried;
    if (length > 0)
        queried = Queried{firstSRVAnswer(answer.data(), length), true};
    else
        queried.answered = state.res_h_errno == HOST_NOT_FOUND || state.res_h_errno == NO_DATA;
    res_nclose(&state);
    return queried;
}

LookupCache<std::optional<SRVRecord>>::Lookup queryOn(quint32 serverIPv4, quint16 port)
{
    return [serverIPv4, port](QString service) -> QCoro::Task<std::optional<SRVRecord>> {
        // Named: g++ 12 destroys a closure made inside a co_await expression twice.
        std::function<Queried()> work = [name = service.toUtf8(), serverIPv4, port] {
            return querySRV(name, serverIPv4, port);
        };
        const Queried queried = co_await onLookupThread<Queried>(std::move(work));
        // Not kept: the next lookup asks again.
        if (!queried.answered)
            throw ProviderError::upstream(QStringLiteral("no answer"));
        co_return queried.record;
    };
}

} // namespace

std::optional<SRVRecord> parseSRVRecordData(const QByteArray &data)
{
    if (data.size() < 7)
        return std::nullopt;
    const auto byte = [&data](qsizetype i) { return static_cast<quint8>(data.at(i)); };
    const quint16 port = static_cast<quint16>(byte(4) << 8 | byte(5));
    if (port == 0)
        return std::nullopt;
    QStringList labels;
    qsizetype offset = 6;
    while (offset < data.size()) {
        const int length = byte(offset);
        if (length == 0)
            break;
        if (length > maxLabelLength || offset + length >= data.size())
            return std::nullopt;
        const auto label = decodeStrictUtf8(data.mid(offset + 1, length));
        if (!label)
            return std::nullopt;
        labels.append(*label);
        offset += length + 1;
    }
    if (labels.isEmpty())
        return std::nullopt;
    return SRVRecord{labels.join(QLatin1Char('.')), port};
}

DNSSDSRVResolver::DNSSDSRVResolver(MonotonicClock clock) : m_answers(queryOn(0, 53), std::move(clock), answerLifetime) {}

DNSSDSRVResolver::DNSSDSRVResolver(QHostAddress server, quint16 port, MonotonicClock clock)
    : m_answers(queryOn(server.protocol() == QAbstractSocket::IPv4Protocol ? server.toIPv4Address() : 0, port),
                std::move(clock), answerLifetime)
{
}

QCoro::Task<std::optional<SRVRecord>> DNSSDSRVResolver::resolve(QString service, CancelToken cancel) const
{
    cancel.throwIfCancelled();
    std::optional<SRVRecord> record;
    try {
        record = (co_await m_answers.answer(service, cancel)).answer;
    } catch (const ProviderError &) {
        record.reset();
    }
    co_return record;
}

} // namespace marrowick
