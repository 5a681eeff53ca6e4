// Feeds arbitrary bytes to the Minecraft status exchange as the server's reply, and to the
// status document parser. The exchange may fail only with a provider error, and never asks the
// channel for more than a status reply may hold, whatever lengths the server states.
#include "MarrowickKit/Games/MinecraftPing.h"

#include "MarrowickKit/Model/ProviderError.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

using namespace marrowick;

namespace {

// Hands out the fuzzer's bytes as the peer's stream and fails as the real channel does once they
// run out; never suspends.
class ReplayChannel : public ByteChannel {
public:
    explicit ReplayChannel(QByteArray bytes) : m_bytes(std::move(bytes)) {}

    QCoro::Task<void> send(QByteArray) override { co_return; }
    QCoro::Task<QByteArray> read(qint64 count) override
    {
        if (count < 0 || count > MinecraftSLP::maxStatusLength)
            std::abort();
        if (count > m_bytes.size())
            throw ProviderError::upstream(QStringLiteral("eof"));
        const QByteArray bytes = m_bytes.first(count);
        m_bytes.remove(0, count);
        co_return bytes;
    }
    void close() override {}

private:
    QByteArray m_bytes;
};

QCoro::Task<void> drive(ByteChannel *channel)
{
    try {
        co_await MinecraftSLP::exchange(channel, QStringLiteral("fuzz.example"), 25565);
    } catch (const ProviderError &) {
    } catch (...) {
        // An unawaited task would keep any other exception to itself.
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray input(reinterpret_cast<const char *>(data), qsizetype(size));
    MinecraftSLP::parseStatus(input);
    ReplayChannel channel(input);
    if (!drive(&channel).isReady())
        std::abort();
    return 0;
}
