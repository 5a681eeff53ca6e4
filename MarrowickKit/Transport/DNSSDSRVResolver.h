#pragma once

#include "MarrowickKit/Transport/LookupCache.h"
#include "MarrowickKit/Transport/SRVResolver.h"

#include <QByteArray>
#include <QHostAddress>

namespace marrowick {

// Asks a DNS server for one SRV record; the first answer decides. The query runs on a lookup
// thread with the resolver's own time-outs and retries (resolv.conf), so a first name server that
// never answers costs what it costs every other program, and no more. A record, or the server's
// word that there is none, is kept for `answerLifetime` on `clock`; a query that got no answer
// is not, and the next one asks again. A cancelled token throws CancellationError at once;
// everything else that goes wrong gives no record. Copies share their answers.
class DNSSDSRVResolver : public SRVResolver {
public:
    static constexpr double answerLifetime = 60.0;

    // Asks the system's name servers.
    explicit DNSSDSRVResolver(MonotonicClock clock = bootTimeSeconds);
    // Asks only the given IPv4 server (a local test server).
    DNSSDSRVResolver(QHostAddress server, quint16 port, MonotonicClock clock = bootTimeSeconds);

    QCoro::Task<std::optional<SRVRecord>> resolve(QString service, CancelToken cancel = {}) const override;
    // As HostLookup::networkChanged().
    void networkChanged() const { m_answers.startAfresh(); }

private:
    LookupCache<std::optional<SRVRecord>> m_answers;
};

// The target of SRV record data (priority, weight, port, then the uncompressed target name),
// or nothing when the data is short, the port is 0 or the name is malformed.
std::optional<SRVRecord> parseSRVRecordData(const QByteArray &data);

} // namespace marrowick
