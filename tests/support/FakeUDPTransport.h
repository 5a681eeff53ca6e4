#pragma once

#include "MarrowickKit/Transport/UDPTransport.h"

#include <QHash>
#include <QList>

#include <functional>
#include <memory>

namespace marrowick::test {

// A scripted UDP peer. Each port has a responder that turns every datagram sent into the
// datagrams (or failures) that come back; a receive with nothing queued fails with "timed
// out", as a silent peer does once the session's time-out runs out.
class FakeUDPTransport : public UDPTransport {
public:
    struct Reply {
        QByteArray datagram;
        QString error; // when set: an upstream failure with this text instead of a datagram

        static Reply data(QByteArray bytes) { return Reply{std::move(bytes), {}}; }
        static Reply failure(QString text) { return Reply{{}, std::move(text)}; }
    };
    using Responder = std::function<QList<Reply>(const QByteArray &request)>;

    struct SessionRecord {
        QString host;
        quint16 port = 0;
        double timeout = 0;
        QList<QByteArray> sent;
        bool closed = false;
    };

    FakeUDPTransport();

    void respond(quint16 port, Responder responder);
    // Every session to `port` fails to open with this upstream text ("host not found", ...).
    void failOpen(quint16 port, QString error);

    const QList<std::shared_ptr<SessionRecord>> &sessions() const;
    // The ports of the sessions opened, in order.
    QList<quint16> portsTried() const;

    QCoro::Task<std::unique_ptr<UDPSession>> session(QString host, quint16 port, double timeout,
                                                      CancelToken cancel = {}) const override;

private:
    struct State {
        QHash<quint16, Responder> responders;
        QHash<quint16, QString> openFailures;
        QList<std::shared_ptr<SessionRecord>> sessions;
    };
    std::shared_ptr<State> m_state;
};

} // namespace marrowick::test
