#pragma once

#include "MarrowickKit/Transport/SRVResolver.h"

#include <QByteArray>
#include <QHostAddress>

namespace marrowick {

// Asks a DNS server for one SRV record; the first answer decides. The query runs on a worker
// thread (the C library's resolver blocks) and is raced against the time-out on the caller's
// thread. A cancelled token throws CancellationError; everything else that goes wrong gives
// no record.
class DNSSDSRVResolver : public SRVResolver {
public:
    // Asks the system's name servers.
    DNSSDSRVResolver() = default;
    // Asks only the given IPv4 server (a local test server).
    DNSSDSRVResolver(QHostAddress server, quint16 port) : m_server(server), m_port(port) {}

    QCoro::Task<std::optional<SRVRecord>> resolve(QString service, double timeout,
                                                  CancelToken cancel = {}) const override;

private:
    QHostAddress m_server;
    quint16 m_port = 53;
};

// The target of SRV record data (priority, weight, port, then the uncompressed target name),
// or nothing when the data is short, the port is 0 or the name is malformed.
std::optional<SRVRecord> parseSRVRecordData(const QByteArray &data);

} // namespace marrowick
