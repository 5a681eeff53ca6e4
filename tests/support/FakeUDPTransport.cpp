#include "support/FakeUDPTransport.h"

#include "MarrowickKit/Model/ProviderError.h"

#include <QQueue>

namespace marrowick::test {

namespace {

class FakeUDPSession : public UDPSession {
public:
    FakeUDPSession(std::shared_ptr<FakeUDPTransport::SessionRecord> record, FakeUDPTransport::Responder responder,
                   CancelToken cancel)
        : m_record(std::move(record)), m_responder(std::move(responder)), m_cancel(std::move(cancel))
    {
    }

    QCoro::Task<void> send(QByteArray datagram) override
    {
        m_cancel.throwIfCancelled();
        m_record->sent.append(datagram);
        if (m_responder) {
            for (const auto &reply : m_responder(datagram))
                m_pending.enqueue(reply);
        }
        co_return;
    }

    QCoro::Task<QByteArray> receive() override
    {
        m_cancel.throwIfCancelled();
        if (m_pending.isEmpty())
            throw ProviderError::upstream(QStringLiteral("timed out"));
        const auto reply = m_pending.dequeue();
        if (!reply.error.isEmpty())
            throw ProviderError::upstream(reply.error);
        if (reply.datagram.isEmpty())
            throw ProviderError::upstream(QStringLiteral("empty reply"));
        co_return reply.datagram;
    }

    void close() override { m_record->closed = true; }

private:
    std::shared_ptr<FakeUDPTransport::SessionRecord> m_record;
    FakeUDPTransport::Responder m_responder;
    CancelToken m_cancel;
    QQueue<FakeUDPTransport::Reply> m_pending;
};

} // namespace

FakeUDPTransport::FakeUDPTransport() : m_state(std::make_shared<State>()) {}

void FakeUDPTransport::respond(quint16 port, Responder responder)
{
    m_state->responders.insert(port, std::move(responder));
}

void FakeUDPTransport::failOpen(quint16 port, QString error)
{
    m_state->openFailures.insert(port, std::move(error));
}

const QList<std::shared_ptr<FakeUDPTransport::SessionRecord>> &FakeUDPTransport::sessions() const
{
    return m_state->sessions;
}

QList<quint16> FakeUDPTransport::portsTried() const
{
    QList<quint16> ports;
    for (const auto &record : m_state->sessions)
        ports.append(record->port);
    return ports;
}

QCoro::Task<std::unique_ptr<UDPSession>> FakeUDPTransport::session(QString host, quint16 port, double timeout,
                                                                  CancelToken cancel) const
{
    auto record = std::make_shared<SessionRecord>(SessionRecord{host, port, timeout, {}, false});
    m_state->sessions.append(record);
    if (const auto failure = m_state->openFailures.constFind(port); failure != m_state->openFailures.cend())
        throw ProviderError::upstream(*failure);
    co_return std::make_unique<FakeUDPSession>(record, m_state->responders.value(port), cancel);
}

} // namespace marrowick::test
