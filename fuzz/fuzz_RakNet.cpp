// Feeds arbitrary datagrams to the Bedrock pong parser.
#include "MarrowickKit/Games/BedrockPing.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    marrowick::parseBedrockPong(QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)));
    return 0;
}
