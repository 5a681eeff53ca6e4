#pragma once

#include "MarrowickKit/Transport/ByteChannel.h"

#include <QList>

#include <functional>
#include <memory>

namespace marrowick::test {

// A scripted TCP peer. What the peer writes is produced from each send; once it is read up,
// the peer either closes ("eof"), stays silent until the channel's own read time-out ("timed
// out"), or stays silent until the channel is closed.
class FakeByteChannelFactory : public ByteChannelFactory {
public:
    enum class AfterReply { eof, readTimeout, hangUntilClosed };
    using Responder = std::function<QByteArray(const QByteArray &sent)>;

    struct ChannelRecord {
        QString host;
        quint16 port = 0;
        QByteArray sent;
        bool closed = false;
    };

    FakeByteChannelFactory();

    void respond(Responder responder, AfterReply after = AfterReply::eof);
    // connect fails with this upstream text ("connection refused", ...).
    void failConnect(QString error);

    const QList<std::shared_ptr<ChannelRecord>> &channels() const;

    QCoro::Task<std::unique_ptr<ByteChannel>> connect(QString host, quint16 port,
                                                       CancelToken cancel = {}) const override;

private:
    struct State {
        Responder responder;
        AfterReply after = AfterReply::eof;
        QString connectFailure;
        QList<std::shared_ptr<ChannelRecord>> channels;
    };
    std::shared_ptr<State> m_state;
};

} // namespace marrowick::test
