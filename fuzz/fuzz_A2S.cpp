// Feeds arbitrary datagrams to the Steam query client: the packet parser, both reply parsers,
// the keyword reader, and a whole request loop with challenges and split reassembly. The loop
// may fail only as the client reports failures (a reply error or a provider error), and its
// limits must hold for each request whatever the server sends: the request sent once and again
// for each challenge it answers, and at most one whole split reply read after each sending.
#include "MarrowickKit/Games/A2SQueryClient.h"

#include "MarrowickKit/Model/ProviderError.h"

#include <QList>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

using namespace marrowick;

namespace {

// Serves the fuzzer's datagrams in turn and fails as the real session does once they run out;
// never suspends, so a driven task ends at once. Stops the run as soon as one request passes
// the client's limits.
class ReplaySession : public UDPSession {
public:
    explicit ReplaySession(QList<QByteArray> datagrams) : m_datagrams(std::move(datagrams)) {}

    void startRequest() { m_sent = 0; }
    QCoro::Task<void> send(QByteArray) override
    {
        if (++m_sent > 1 + A2SWire::maxChallenges)
            std::abort();
        m_received = 0;
        co_return;
    }
    QCoro::Task<QByteArray> receive() override
    {
        if (m_datagrams.isEmpty())
            throw ProviderError::upstream(QStringLiteral("timed out"));
        if (++m_received > A2SWire::maxSplitParts)
            std::abort();
        co_return m_datagrams.takeFirst();
    }
    void close() override {}

private:
    QList<QByteArray> m_datagrams;
    int m_sent = 0;
    int m_received = 0;
};

// Datagrams as a two-byte big-endian length followed by that many bytes, as long as they last.
QList<QByteArray> splitInput(const QByteArray &input)
{
    QList<QByteArray> datagrams;
    qsizetype at = 0;
    while (at + 2 <= input.size()) {
        const qsizetype length = (qsizetype(quint8(input.at(at))) << 8) | quint8(input.at(at + 1));
        at += 2;
        datagrams.append(input.mid(at, length));
        at += length;
    }
    return datagrams;
}

QCoro::Task<void> drive(ReplaySession *session)
{
    try {
        const A2SWire::Deadline never{1.0, [] { return 0.0; }};
        session->startRequest();
        const auto info = co_await A2SWire::requestInfo(session, never);
        // Split replies come back in the form of a simple one.
        if (!info.reply.startsWith("\xFF\xFF\xFF\xFF"))
            std::abort();
        A2SWire::parseInfo(info.reply, true);
        session->startRequest();
        co_await A2SWire::requestPlayers(session, never, info.challenge);
    } catch (const A2SReplyError &) {
    } catch (const ProviderError &) {
    } catch (...) {
        // An unawaited task would keep any other exception to itself.
        std::abort();
    }
}

void checkPacket(const QByteArray &input)
{
    try {
        const auto packet = A2SWire::parse(input);
        if (const auto *split = std::get_if<A2SWire::SplitPacket>(&packet)) {
            if (split->total < 1 || split->total > A2SWire::maxSplitParts || split->number < 0
                || split->number >= split->total)
                std::abort();
        }
    } catch (const A2SReplyError &) {
    }
}

void checkPlayers(const QByteArray &input)
{
    const auto names = A2SWire::parsePlayers(input);
    if (names && names->size() > quint8(input.at(5)))
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray input(reinterpret_cast<const char *>(data), qsizetype(size));
    checkPacket(input);
    A2SWire::parseInfo(input, true);
    A2SWire::parseInfo(input, false);
    checkPlayers(input);
    A2SWire::keywordCounts(QString::fromUtf8(input));

    ReplaySession session(splitInput(input));
    if (!drive(&session).isReady())
        std::abort();
    return 0;
}
