#include "MarrowickKit/Transport/ContentDecoder.h"

#include <zlib.h>

#include <utility>

namespace marrowick {

struct ContentDecoder::Stream {
    z_stream z{};
    bool open = false;

    ~Stream()
    {
        if (open)
            inflateEnd(&z);
    }
};

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

std::unique_ptr<ContentDecoder> ContentDecoder::forEncoding(const QByteArray &contentEncoding)
{
    const QByteArray encoding = contentEncoding.trimmed().toLower();
    if (encoding == "gzip" || encoding == "x-gzip")
        return std::unique_ptr<ContentDecoder>(new ContentDecoder(Format::gzip));
    if (encoding == "deflate")
        return std::unique_ptr<ContentDecoder>(new ContentDecoder(Format::zlibOrRaw));
    return nullptr;
}

ContentDecoder::ContentDecoder(Format format) : m_format(format), m_stream(std::make_unique<Stream>()) {}

ContentDecoder::~ContentDecoder() = default;

// Starts the body's stream once the held bytes tell zlib from raw deflate. False while they
// cannot tell yet, and when zlib fails.
bool ContentDecoder::startStream()
{
    // Opened already and no longer in it: a gzip member has ended.
    if (m_stream->open)
        return startNextMember();
    if (m_held.size() < 2)
        return false;
    int windowBits = MAX_WBITS + 16;
    if (m_format == Format::zlibOrRaw) {
        const bool zlib = isZlibHeader(static_cast<unsigned char>(m_held[0]), static_cast<unsigned char>(m_held[1]));
        windowBits = zlib ? MAX_WBITS : -MAX_WBITS;
    }
    m_stream->open = inflateInit2(&m_stream->z, windowBits) == Z_OK;
    m_failed = !m_stream->open;
    m_inStream = m_stream->open;
    return m_inStream;
}

// After a gzip member another one follows only where the gzip magic does; anything else ends
// the body. False while the held bytes cannot tell yet, and when the body has ended.
bool ContentDecoder::startNextMember()
{
    if (!mayStartGzipMember(m_held)) {
        m_complete = true;
        m_held.clear();
        return false;
    }
    if (m_held.size() < 2)
        return false;
    inflateReset(&m_stream->z);
    m_inStream = true;
    return true;
}

bool ContentDecoder::isWhole() const
{
    return m_complete || (!m_failed && !m_inStream && m_held.isEmpty());
}

bool ContentDecoder::feed(QByteArrayView input, QByteArray &output, qint64 maxOutputBytes)
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

// Inflates `input` until it runs out, the output passes its cap, or the stream ends; returns
// the bytes after the end of a gzip member, which may start another.
QByteArrayView ContentDecoder::inflateStream(QByteArrayView input, QByteArray &output, qint64 maxOutputBytes)
{
    z_stream &z = m_stream->z;
    z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(input.data()));
    z.avail_in = static_cast<uInt>(input.size());
    char buffer[16384];
    // A full output buffer may leave more output inside zlib, even with no input left.
    bool bufferFilled = false;
    while ((z.avail_in > 0 || bufferFilled) && output.size() <= maxOutputBytes) {
        z.next_out = reinterpret_cast<Bytef *>(buffer);
        z.avail_out = sizeof buffer;
        const int result = inflate(&z, Z_NO_FLUSH);
        output.append(buffer, static_cast<qsizetype>(sizeof buffer - z.avail_out));
        bufferFilled = z.avail_out == 0;
        if (result == Z_STREAM_END) {
            m_inStream = false;
            m_complete = m_format != Format::gzip;
            return {reinterpret_cast<const char *>(z.next_in), qsizetype(z.avail_in)};
        }
        if (result != Z_OK && !(result == Z_BUF_ERROR && z.avail_in == 0)) {
            m_failed = true;
            return {};
        }
    }
    return {};
}

} // namespace marrowick
