#include "MarrowickKit/Transport/DNSSDSRVResolver.h"

#include "MarrowickKit/Async/Completion.h"
#include "MarrowickKit/Model/StrictUtf8.h"

#include <QStringList>
#include <QTimer>

#include <arpa/inet.h>
#include <arpa/nameser.h>
#include <netinet/in.h>
#include <resolv.h>

#include <algorithm>
#include <cmath>
#include <thread>
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

// Runs on a worker thread: the blocking query, bounded by the resolver's own retry settings.
std::optional<SRVRecord> querySRV(const QByteArray &name, double timeout, quint32 serverIPv4, quint16 port)
{
    struct __res_state state {};
    if (res_ninit(&state) != 0)
        return std::nullopt;
    if (serverIPv4 != 0) {
        state.nscount = 1;
        state.nsaddr_list[0].sin_family = AF_INET;
        state.nsaddr_list[0].sin_addr.s_addr = htonl(serverIPv4);
        state.nsaddr_list[0].sin_port = htons(port);
    }
    state.retrans = static_cast<int>(std::clamp(std::ceil(timeout), 1.0, 30.0));
    state.retry = 1;
    std::vector<unsigned char> answer(NS_MAXMSG);
    const int length = res_nquery(&state, name.constData(), ns_c_in, ns_t_srv, answer.data(),
                                  static_cast<int>(answer.size()));
    std::optional<SRVRecord> record = length > 0 ? firstSRVAnswer(answer.data(), length) : std::nullopt;
    res_nclose(&state);
    return record;
}

int milliseconds(double seconds)
{
    if (!std::isfinite(seconds))
        return 2147483647;
    return static_cast<int>(std::clamp(std::ceil(seconds * 1000.0), 0.0, 2147483647.0));
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

QCoro::Task<std::optional<SRVRecord>> DNSSDSRVResolver::resolve(QString service, double timeout,
                                                                 CancelToken cancel) const
{
    cancel.throwIfCancelled();
    Completion<std::optional<SRVRecord>> done;
    const quint32 server = m_server.protocol() == QAbstractSocket::IPv4Protocol ? m_server.toIPv4Address() : 0;
    std::thread([name = service.toUtf8(), timeout, server, port = m_port, done] {
        auto record = querySRV(name, timeout, server, port);
        // A lookup that outlives the application has nobody left to tell.
        if (auto *application = QCoreApplication::instance())
            QMetaObject::invokeMethod(application, [done, record] { done.complete(record); }, Qt::QueuedConnection);
    }).detach();
    QTimer timer;
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, [done] { done.complete(std::nullopt); });
    timer.start(milliseconds(timeout));
    const auto registration = cancel.onCancel([done] { done.fail(CancellationError()); });
    std::optional<SRVRecord> record = co_await done;
    co_return record;
}

} // namespace marrowick
