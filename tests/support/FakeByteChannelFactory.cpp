#include "support/FakeByteChannelFactory.h"

#include "MarrowickKit/Async/Completion.h"
#include "MarrowickKit/Model/ProviderError.h"

namespace marrowick::test {

namespace {

class FakeByteChannel : public ByteChannel {
public:
    FakeByteChannel(std::shared_ptr<FakeByteChannelFactory::ChannelRecord> record,
                    FakeByteChannelFactory::Responder responder, FakeByteChannelFactory::AfterReply after,
                    CancelToken cancel)
        : m_record(std::move(record)), m_responder(std::move(responder)), m_after(after), m_cancel(std::move(cancel))
    {
    }

    QCoro::Task<void> send(QByteArray bytes) override
    {
        m_cancel.throwIfCancelled();
        m_record->sent.append(bytes);
        if (m_responder)
            m_incoming.append(m_responder(bytes));
        co_return;
    }

    QCoro::Task<QByteArray> read(qint64 count) override
    {
        m_cancel.throwIfCancelled();
        if (m_record->closed)
            throw ProviderError::upstream(QStringLiteral("eof"));
        if (m_incoming.size() >= count) {
            const QByteArray bytes = m_incoming.first(count);
            m_incoming.remove(0, count);
            co_return bytes;
        }
        if (m_after == FakeByteChannelFactory::AfterReply::eof)
            throw ProviderError::upstream(QStringLiteral("eof"));
        if (m_after == FakeByteChannelFactory::AfterReply::readTimeout) {
            m_record->closed = true;
            throw ProviderError::upstream(QStringLiteral("timed out"));
        }
        Completion<Done> closed;
        m_whenClosed = closed;
        const auto registration = m_cancel.onCancel([closed] { closed.fail(CancellationError()); });
        co_await closed;
        throw ProviderError::upstream(QStringLiteral("eof"));
    }

    void close() override
    {
        m_record->closed = true;
        if (m_whenClosed)
            m_whenClosed->complete({});
    }

private:
    std::shared_ptr<FakeByteChannelFactory::ChannelRecord> m_record;
    FakeByteChannelFactory::Responder m_responder;
    FakeByteChannelFactory::AfterReply m_after;
    CancelToken m_cancel;
    QByteArray m_incoming;
    std::optional<Completion<Done>> m_whenClosed;
};

} // namespace

FakeByteChannelFactory::FakeByteChannelFactory() : m_state(std::make_shared<State>()) {}

void FakeByteChannelFactory::respond(Responder responder, AfterReply after)
{
    m_state->responder = std::move(responder);
    m_state->after = after;
}

void FakeByteChannelFactory::failConnect(QString error)
{
    m_state->connectFailure = std::move(error);
}

const QList<std::shared_ptr<FakeByteChannelFactory::ChannelRecord>> &FakeByteChannelFactory::channels() const
{
    return m_state->channels;
}

QCoro::Task<std::unique_ptr<ByteChannel>> FakeByteChannelFactory::connect(QString host, quint16 port,
                                                                         CancelToken cancel) const
{
    if (!m_state->connectFailure.isEmpty())
        throw ProviderError::upstream(m_state->connectFailure);
    auto record = std::make_shared<ChannelRecord>(ChannelRecord{host, port, {}, false});
    m_state->channels.append(record);
    co_return std::make_unique<FakeByteChannel>(record, m_state->responder, m_state->after, cancel);
}

} // namespace marrowick::test
