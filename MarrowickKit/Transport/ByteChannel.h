#pragma once

#include "MarrowickKit/Async/Cancellation.h"

#include <QByteArray>
#include <QString>

#include <QCoro/QCoroTask>

#include <memory>
#include <optional>

namespace marrowick {

// One connected TCP byte stream. Failures are ProviderError with a short text ("eof",
// "timed out", ...); once the connect token is cancelled, pending and later calls throw
// CancellationError and the socket is aborted.
class ByteChannel {
public:
    virtual ~ByteChannel() = default;
    virtual QCoro::Task<void> send(QByteArray bytes) = 0;
    // Exactly `count` bytes; bytes received beyond them are kept for the next read.
    virtual QCoro::Task<QByteArray> read(qint64 count) = 0;
    virtual void close() = 0;
    // Seconds from the first connection attempt to the connection, as the transport timed them
    // (the lookup of the host's name left out); absent when it cannot tell.
    virtual std::optional<double> connectSeconds() const { return std::nullopt; }
};

class ByteChannelFactory {
public:
    virtual ~ByteChannelFactory() = default;
    virtual QCoro::Task<std::unique_ptr<ByteChannel>> connect(QString host, quint16 port,
                                                               CancelToken cancel = {}) const = 0;
};

// The TCP implementation over the system's sockets, with its 3-second default time-out.
std::shared_ptr<const ByteChannelFactory> systemByteChannelFactory();

} // namespace marrowick
