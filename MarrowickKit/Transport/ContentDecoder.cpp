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

bool isGzipMember(QByteArrayView bytes)
{
    return bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0x1f && static_cast<unsigned char>(bytes[1]) == 0x8b;
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

bool ContentDecoder::start(QByteArrayView firstBytes)
{
    int windowBits = MAX_WBITS + 16;
    if (m_format == Format::zlibOrRaw) {
        const bool zlib = isZlibHeader(static_cast<unsigned char>(firstBytes[0]), static_cast<unsigned char>(firstBytes[1]));
        windowBits = zlib ? MAX_WBITS : -MAX_WBITS;
    }
    m_stream->open = inflateInit2(&m_stream->z, windowBits) == Z_OK;
    return m_stream->open;
}

bool ContentDecoder::isWhole() const
{
    return m_complete || (!m_failed && !m_stream->open && m_held.isEmpty());
}

bool ContentDecoder::feed(QByteArrayView input, QByteArray &output, qint64 maxOutputBytes)
{
    if (m_failed)
        return false;
    if (!m_stream->open) {
        // Two bytes tell a zlib stream from a raw one.
        m_held.append(input.data(), input.size());
        if (m_held.size() < 2)
            return true;
        if (!start(m_held)) {
            m_failed = true;
            return false;
        }
        const QByteArray held = std::exchange(m_held, {});
        return feed(held, output, maxOutputBytes);
    }
    z_stream &z = m_stream->z;
    z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(input.data()));
    z.avail_in = static_cast<uInt>(input.size());
    char buffer[16384];
    // A full output buffer may leave more output inside zlib, even with no input left.
    bool bufferFilled = false;
    while ((z.avail_in > 0 || bufferFilled) && !m_complete && output.size() <= maxOutputBytes) {
        z.next_out = reinterpret_cast<Bytef *>(buffer);
        z.avail_out = sizeof buffer;
        const int result = inflate(&z, Z_NO_FLUSH);
        output.append(buffer, static_cast<qsizetype>(sizeof buffer - z.avail_out));
        bufferFilled = z.avail_out == 0;
        if (result == Z_STREAM_END) {
            // A gzip body may hold several members; anything else after the end is ignored.
            const QByteArrayView rest(reinterpret_cast<const char *>(z.next_in), z.avail_in);
            if (m_format == Format::gzip && isGzipMember(rest))
                inflateReset(&z);
            else
                m_complete = true;
        } else if (result != Z_OK && !(result == Z_BUF_ERROR && z.avail_in == 0)) {
            m_failed = true;
            return false;
        }
    }
    return true;
}

} // namespace marrowick
