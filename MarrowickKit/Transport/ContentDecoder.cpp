#include "MarrowickKit/Transport/ContentDecoder.h"

#include <zlib.h>

#include <utility>

namespace marrowick {

namespace {

// A zlib header: deflate method, a window zlib knows, and the check bits (RFC 1950).
bool isZlibHeader(unsigned char first, unsigned char second)
{
    return (first & 0x0f) == 8 && (first >> 4) <= 7 && ((first << 8) | second) % 31 == 0;
}

// Whether `bytes` (one or more) may start a gzip member: its magic, or the magic's first byte.
bool mayStartGzipMember(QByteArrayView bytes)
{
    const auto byte = [bytes](qsizetype i) { return static_cast<unsigned char>(bytes[i]); };
    return byte(0) == 0x1f && (bytes.size() < 2 || byte(1) == 0x8b);
}

} // namespace

// One coding's stream, inflated by zlib.
class ContentDecoder::Stage {
public:
    enum class Format { gzip, zlibOrRaw };

    explicit Stage(Format format) : m_format(format) {}

    ~Stage()
    {
        if (m_open)
            inflateEnd(&m_z);
    }

    Stage(const Stage &) = delete;
    Stage &operator=(const Stage &) = delete;

    // Appends what `input` decodes to onto `output`, stopping once `output` holds more than
    // `maxOutputBytes`. False when the input is not a valid stream.
    bool feed(QByteArrayView input, QByteArray &output, qint64 maxOutputBytes)
    {
        QByteArray started; // the held bytes of a stream that has just started
        while (!m_failed && !m_complete && !input.isEmpty() && output.size() <= maxOutputBytes) {
            if (m_inStream) {
                input = inflateStream(input, output, maxOutputBytes);
                continue;
            }
            m_held.append(input.data(), input.size());
            input = {};
            if (startStream()) {
                started = std::exchange(m_held, {});
                input = started;
            }
        }
        return !m_failed;
    }

    bool isWhole() const { return m_complete || (!m_failed && !m_inStream && m_held.isEmpty()); }

    // What this stage has decoded in all, when another stage decodes that in turn.
    qint64 produced = 0;

private:
    // Starts the body's stream once the held bytes tell zlib from raw deflate. False while
    // they cannot tell yet, and when zlib fails.
    bool startStream()
    {
        // Opened already and no longer in it: a gzip member has ended.
        if (m_open)
            return startNextMember();
        if (m_held.size() < 2)
            return false;
        int windowBits = MAX_WBITS + 16;
        if (m_format == Format::zlibOrRaw) {
            const bool zlib = isZlibHeader(static_cast<unsigned char>(m_held[0]), static_cast<unsigned char>(m_held[1]));
            windowBits = zlib ? MAX_WBITS : -MAX_WBITS;
        }
        m_open = inflateInit2(&m_z, windowBits) == Z_OK;
        m_failed = !m_open;
        m_inStream = m_open;
        return m_inStream;
    }

    // After a gzip member another one follows only where the gzip magic does; anything else
    // ends the body. False while the held bytes cannot tell yet, and when the body has ended.
    bool startNextMember()
    {
        if (!mayStartGzipMember(m_held)) {
            m_complete = true;
            m_held.clear();
            return false;
        }
        if (m_held.size() < 2)
            return false;
        inflateReset(&m_z);
        m_inStream = true;
        return true;
    }

    // Inflates `input` until it runs out, the output passes its cap, or the stream ends;
    // returns the bytes after the end of a gzip member, which may start another.
    QByteArrayView inflateStream(QByteArrayView input, QByteArray &output, qint64 maxOutputBytes)
    {
        m_z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(input.data()));
        m_z.avail_in = static_cast<uInt>(input.size());
        char buffer[16384];
        // A full output buffer may leave more output inside zlib, even with no input left.
        bool bufferFilled = false;
        while ((m_z.avail_in > 0 || bufferFilled) && output.size() <= maxOutputBytes) {
            m_z.next_out = reinterpret_cast<Bytef *>(buffer);
            m_z.avail_out = sizeof buffer;
            const int result = inflate(&m_z, Z_NO_FLUSH);
            output.append(buffer, static_cast<qsizetype>(sizeof buffer - m_z.avail_out));
            bufferFilled = m_z.avail_out == 0;
            if (result == Z_STREAM_END) {
                m_inStream = false;
                m_complete = m_format != Format::gzip;
                return {reinterpret_cast<const char *>(m_z.next_in), qsizetype(m_z.avail_in)};
            }
            if (result != Z_OK && !(result == Z_BUF_ERROR && m_z.avail_in == 0)) {
                m_failed = true;
                return {};
            }
        }
        return {};
    }

    Format m_format;
    z_stream m_z{};
    bool m_open = false;
    // The first bytes of a stream, until they tell zlib from raw deflate, or whether another
    // gzip member follows the one that ended.
    QByteArray m_held;
    bool m_inStream = false;
    bool m_failed = false;
    bool m_complete = false; // what follows is dropped
};

ContentDecoder::ContentDecoder() = default;

ContentDecoder::~ContentDecoder() = default;

std::unique_ptr<ContentDecoder> ContentDecoder::forEncodings(const QList<QByteArray> &contentEncodings)
{
    // Each field lists codings in the order they were applied, and a later field continues the
    // list: the last one named is undone first.
    QList<QByteArray> codings;
    for (const QByteArray &value : contentEncodings) {
        for (const QByteArray &element : value.split(',')) {
            const QByteArray coding = element.trimmed().toLower();
            if (!coding.isEmpty() && coding != "identity")
                codings.prepend(coding);
        }
    }
    if (codings.isEmpty())
        return nullptr;
    std::unique_ptr<ContentDecoder> decoder(new ContentDecoder);
    for (const QByteArray &coding : std::as_const(codings)) {
        if (coding == "gzip" || coding == "x-gzip") {
            decoder->m_stages.push_back(std::make_unique<Stage>(Stage::Format::gzip));
        } else if (coding == "deflate") {
            decoder->m_stages.push_back(std::make_unique<Stage>(Stage::Format::zlibOrRaw));
        } else {
            decoder->m_stages.clear();
            decoder->m_unsupported = coding;
            break;
        }
    }
    return decoder;
}

bool ContentDecoder::isWhole() const
{
    for (const auto &stage : m_stages) {
        if (!stage->isWhole())
            return false;
    }
    return true;
}

ContentDecoder::Result ContentDecoder::feed(QByteArrayView input, QByteArray &output, qint64 maxOutputBytes)
{
    if (!m_unsupported.isEmpty())
        return input.isEmpty() ? Result::fed : Result::unsupported;
    // What each coding decodes feeds the next; the two buffers take turns.
    QByteArray between[2];
    for (std::size_t i = 0; i < m_stages.size(); ++i) {
        Stage &stage = *m_stages[i];
        const bool last = i + 1 == m_stages.size();
        if (last) {
            if (!stage.feed(input, output, maxOutputBytes))
                return Result::undecodable;
            return output.size() > maxOutputBytes ? Result::tooLarge : Result::fed;
        }
        QByteArray &decoded = between[i % 2];
        decoded.clear();
        const qint64 budget = maxOutputBytes - stage.produced;
        if (!stage.feed(input, decoded, budget))
            return Result::undecodable;
        if (decoded.size() > budget)
            return Result::tooLarge;
        stage.produced += decoded.size();
        input = decoded;
    }
    return Result::fed;
}

} // namespace marrowick
