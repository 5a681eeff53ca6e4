#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <memory>

namespace marrowick {

// Decodes a body sent with Content-Encoding gzip or deflate as it streams in. It is strict: a
// body that is not such a stream, or that ends before its stream does, is undecodable, never
// a short or garbled body. ("deflate" is the zlib format; a raw deflate stream, which some
// servers send instead, is taken too.)
class ContentDecoder {
public:
    // The decoder for a Content-Encoding value, or nullptr when the body is handed on as it
    // came (no encoding, "identity", or one this client did not ask for).
    static std::unique_ptr<ContentDecoder> forEncoding(const QByteArray &contentEncoding);

    ~ContentDecoder();
    ContentDecoder(const ContentDecoder &) = delete;
    ContentDecoder &operator=(const ContentDecoder &) = delete;

    // Appends what `input` decodes to onto `output`, stopping once `output` holds more than
    // `maxOutputBytes`. False when the input is not a valid stream.
    bool feed(QByteArrayView input, QByteArray &output, qint64 maxOutputBytes);
    // Whether what was fed is a whole body: its stream has ended, or there was none at all.
    bool isWhole() const;

private:
    enum class Format { gzip, zlibOrRaw };
    struct Stream;

    explicit ContentDecoder(Format format);
    bool start(QByteArrayView firstBytes);

    Format m_format;
    std::unique_ptr<Stream> m_stream;
    QByteArray m_held; // the first bytes of a deflate body, until they tell zlib from raw
    bool m_failed = false;
    bool m_complete = false;
};

} // namespace marrowick
