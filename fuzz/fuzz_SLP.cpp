// Feeds arbitrary bytes to the Minecraft status exchange as the server's reply, and to the
// status document parser.
#include "MarrowickKit/Games/MinecraftPing.h"

#include <cstddef>
#include <cstdint>

using namespace marrowick;

namespace {

// Hands out the fuzzer's bytes as the peer's stream; never suspends.
class ReplayChannel : public ByteChannel {
public:
    explicit ReplayChannel(QByteArray bytes) : m_bytes(std::move(bytes)) {}

    QCoro::Task<void> send(QByteArray) override { co_return; }
    QCoro::Task<QByteArray> read(qint64 count) override
    {
        if (count > m_bytes.size())
            throw std::runtime_error("eof");
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
    } catch (...) {
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray input(reinterpret_cast<const char *>(data), qsizetype(size));
    MinecraftSLP::parseStatus(input);
    ReplayChannel channel(input);
    drive(&channel);
    return 0;
}
