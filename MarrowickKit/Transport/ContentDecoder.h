#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <memory>

namespace marrowick {

// Decodes a body sent with Content-Encoding gzip or deflate as it streams in, to the same
// result however its bytes are cut. It is strict: a body that is not such a stream, or that
// ends before its stream does, is undecodable, never a short or garbled body. A gzip body is
// read member after member, as gunzip reads it; bytes after the last member (zero padding,
// say) or after the end of a deflate stream are dropped. ("deflate" is the zlib format; a raw
// deflate stream, which some servers send instead, is taken too.)
class ContentDecoder {
public:
    // The decoder for a Content-Encoding value, or nullptr when the body is handed on as it
    // came (no encoding, "identity", or one this client did not ask for).
    static std::unique_ptr<ContentDecoder> forEncoding(const QByteArray &contentEncoding);

    ~ContentDecoder();
    ContentDecoder(const ContentDecoder &) = delete;
    ContentDecoder &operator=(const ContentDecoder &) = delete;

    // Appends what `input` decodes to onto `output`, stopping once `output` holds more than
    // `maxOutputBytes` (the rest of `input` is then dropped: the body is too large to use).
    // False when the input is not a valid stream.
    bool feed(QByteArrayView input, QByteArray &output, qint64 maxOutputBytes);
    // Whether what was fed is a whole body: its stream has ended, or there was none at all.
    bool isWhole() const;

private:
    enum class Format { gzip, zlibOrRaw };
    struct Stream;

    explicit ContentDecoder(Format format);
    bool startStream();
    bool startNextMember();
    QByteArrayView inflateStream(QByteArrayView input, QByteArray &output, qint64 maxOutputBytes);

    Format m_format;
    std::unique_ptr<Stream> m_stream;
    // The first bytes of a stream, until they tell zlib from raw deflate, or whether another
    // gzip member follows the one that ended.
    QByteArray m_held;
    bool m_inStream = false;
    bool m_failed = false;
    bool m_complete = false; // what follows is dropped
};

} // namespace marrowick
