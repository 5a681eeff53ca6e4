// Feeds arbitrary datagrams to the Steam query client: the packet parser, both reply parsers,
// the keyword reader, and a whole request loop with challenges and split reassembly.
#include "MarrowickKit/Games/A2SQueryClient.h"

#include <QList>

#include <cstddef>
#include <cstdint>

using namespace marrowick;

namespace {

// Serves the fuzzer's datagrams in turn; never suspends, so a driven task ends at once.
class ReplaySession : public UDPSession {
public:
    explicit ReplaySession(QList<QByteArray> datagrams) : m_datagrams(std::move(datagrams)) {}

    QCoro::Task<void> send(QByteArray) override { co_return; }
    QCoro::Task<QByteArray> receive() override
    {
        if (m_datagrams.isEmpty())
            throw std::runtime_error("timed out");
        co_return m_datagrams.takeFirst();
    }
    void close() override {}

private:
    QList<QByteArray> m_datagrams;
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

QCoro::Task<void> drive(UDPSession *session)
{
    try {
        const A2SWire::Deadline never{1.0, [] { return 0.0; }};
        const auto info = co_await A2SWire::requestInfo(session, never);
        A2SWire::parseInfo(info.reply, true);
        co_await A2SWire::requestPlayers(session, never, info.challenge);
    } catch (...) {
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray input(reinterpret_cast<const char *>(data), qsizetype(size));
    try {
        A2SWire::parse(input);
    } catch (const A2SReplyError &) {
    }
    A2SWire::parseInfo(input, true);
    A2SWire::parseInfo(input, false);
    A2SWire::parsePlayers(input);
    A2SWire::keywordCounts(QString::fromUtf8(input));

    ReplaySession session(splitInput(input));
    drive(&session);
    return 0;
}
