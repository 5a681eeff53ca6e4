// Feeds arbitrary datagrams to the Bedrock pong parser. The status text is read only as far as
// its stated length, so bytes after it change nothing, and a pong names no players.
#include "MarrowickKit/Games/BedrockPing.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray datagram(reinterpret_cast<const char *>(data), qsizetype(size));
    const auto facts = marrowick::parseBedrockPong(datagram);
    if (facts && !facts->playerNames.isEmpty())
        std::abort();
    // The text's length is the big-endian 16-bit field before it.
    constexpr qsizetype textOffset = 35;
    if (datagram.size() >= textOffset) {
        const qsizetype stated = (qsizetype(quint8(datagram.at(33))) << 8) | quint8(datagram.at(34));
        if (stated <= datagram.size() - textOffset
            && marrowick::parseBedrockPong(datagram + QByteArray(";7;8;\xff", 6)) != facts)
            std::abort();
    }
    return 0;
}
