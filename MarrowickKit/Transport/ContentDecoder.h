#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

#include <memory>
#include <vector>

namespace marrowick {

// Decodes a body sent with content codings as it streams in, to the same result however its
// bytes are cut. Every coding that the Content-Encoding fields list is undone, the last applied
// first; a body under a coding this client cannot undo is never handed on as if it had none.
// gzip and deflate are decoded strictly: a body that is not such a stream, or that ends before
// its stream does, is undecodable, never a short or garbled body. A gzip body is read member
// after member, as gunzip reads it; bytes after the last member (zero padding, say) or after
// the end of a deflate stream are dropped. ("deflate" is the zlib format; a raw deflate
// stream, which some servers send instead, is taken too.)
class ContentDecoder {
public:
    enum class Result {
        fed,
        undecodable,
        unsupported, // the body has a byte, under a coding named by unsupportedCoding()
        tooLarge,    // the body, or what a coding under it decoded to, passed the cap
    };

    // The decoder for a reply's Content-Encoding field values in the order they came, or
    // nullptr when they name no coding at all ("identity" is none).
    static std::unique_ptr<ContentDecoder> forEncodings(const QList<QByteArray> &contentEncodings);

    ~ContentDecoder();
    ContentDecoder(const ContentDecoder &) = delete;
    ContentDecoder &operator=(const ContentDecoder &) = delete;

    // Appends what `input` decodes to onto `output`. Once `output`, or what one coding has
    // decoded for the next in all, holds more than `maxOutputBytes`, the rest is dropped and
    // the result is tooLarge.
    Result feed(QByteArrayView input, QByteArray &output, qint64 maxOutputBytes);
    // Whether what was fed is a whole body: every stream has ended, or there was none at all.
    bool isWhole() const;
    // The first coding met in decoding that this client cannot undo, lower-cased; empty when
    // there is none.
    const QByteArray &unsupportedCoding() const { return m_unsupported; }

private:
    class Stage;

    ContentDecoder();

    std::vector<std::unique_ptr<Stage>> m_stages; // in the order they decode
    QByteArray m_unsupported;
};

} // namespace marrowick
