// Feeds arbitrary bytes to the HTTP reply reader, whole and then split at every point the input
// chooses: the reader must take the same bytes, reach the same end and hand on the same head and
// body however the connection cuts the stream.
#include "MarrowickKit/Transport/HTTPReplyReader.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

using namespace marrowick;

namespace {

struct Outcome {
    HTTPReplyReader::Stage stage;
    qsizetype taken = 0;
    int status = 0;
    HTTPHeaders headers;
    QByteArray body;
    QString failure;
    bool keepsConnection = false;
};

// The first byte tells whether the reply was a HEAD's and the second where to cut the rest.
Outcome read(QByteArrayView input, bool headRequest, qsizetype pieceSize, bool closeAtEnd)
{
    HTTPReplyReader reader(headRequest);
    Outcome outcome;
    while (outcome.taken < input.size()) {
        const QByteArrayView piece = input.sliced(outcome.taken).first(std::min(pieceSize, input.size() - outcome.taken));
        const qsizetype taken = reader.feed(piece, outcome.body);
        if (taken > piece.size())
            std::abort();
        outcome.taken += taken;
        if (taken < piece.size())
            break;
    }
    if (closeAtEnd)
        reader.closed();
    if (reader.stage() == HTTPReplyReader::Stage::failed && reader.failure().isEmpty())
        std::abort();
    outcome.stage = reader.stage();
    outcome.status = reader.status();
    outcome.headers = reader.headers();
    outcome.failure = reader.failure();
    outcome.keepsConnection = reader.keepsConnection();
    return outcome;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 2)
        return 0;
    const bool headRequest = data[0] & 1;
    const bool closeAtEnd = data[0] & 2;
    const qsizetype pieceSize = 1 + data[1];
    const QByteArrayView input(reinterpret_cast<const char *>(data + 2), qsizetype(size - 2));
    const Outcome whole = read(input, headRequest, input.size() + 1, closeAtEnd);
    const Outcome split = read(input, headRequest, pieceSize, closeAtEnd);
    // A failing line may be taken in part before it fails; all else must agree.
    const bool failed = whole.stage == HTTPReplyReader::Stage::failed;
    if (whole.stage != split.stage || (!failed && whole.taken != split.taken) || whole.status != split.status
        || whole.headers != split.headers || whole.body != split.body
        || whole.failure != split.failure || whole.keepsConnection != split.keepsConnection)
        std::abort();
    if (whole.body.size() > input.size())
        std::abort();
    return 0;
}
