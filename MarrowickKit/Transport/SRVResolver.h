#pragma once

#include "MarrowickKit/Async/Cancellation.h"

#include <QString>

#include <QCoro/QCoroTask>

#include <memory>
#include <optional>

namespace marrowick {

struct SRVRecord {
    QString host;
    quint16 port = 0;

    bool operator==(const SRVRecord &) const = default;
};

// Looks up one SRV record by its full service name, taking the time the resolver takes. An
// error or an unusable answer gives no record; the only exception is CancellationError once
// `cancel` fires.
class SRVResolver {
public:
    virtual ~SRVResolver() = default;
    virtual QCoro::Task<std::optional<SRVRecord>> resolve(QString service, CancelToken cancel = {}) const = 0;
};

class NoSRVResolver : public SRVResolver {
public:
    QCoro::Task<std::optional<SRVRecord>> resolve(QString service, CancelToken cancel = {}) const override;
};

// True for a non-empty text that is not an IPv4 or IPv6 address (hostAddress()): only such a
// name is worth an SRV lookup.
bool isHostName(const QString &text);

// The resolver that asks the system's DNS servers.
std::shared_ptr<const SRVResolver> systemSRVResolver();

} // namespace marrowick
