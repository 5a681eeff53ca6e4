#pragma once

#include "MarrowickKit/Transport/HTTPClient.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

namespace marrowick {

// Reads one HTTP/1.1 reply from a connection's bytes as they arrive, to the same result however
// they are cut: the status line, the headers (folded lines and white space before a colon, as
// embedded servers send them, included), and a body framed strictly by Content-Length, the
// chunked coding or the end of the connection; interim 1xx replies are skipped. The head (with
// any interim heads, and the trailers of a chunked body) is capped, so a peer that sends
// headers without end costs a read of the cap, not a poll's whole time-out. A transfer coding
// overrides a Content-Length beside it; lengths that disagree, a reply cut short or malformed
// fail with a short text. Body bytes are handed on as they came, still in their
// Content-Encoding.
class HTTPReplyReader {
public:
    static constexpr qsizetype maxHeadBytes = 64 * 1024;

    enum class Stage { head, body, complete, failed };

    // `headRequest`: the request was HEAD, so its reply has no body whatever its headers say.
    explicit HTTPReplyReader(bool headRequest = false) : m_headRequest(headRequest) {}

    // Takes bytes from the front of `bytes` up to the end of the reply, appends those of the
    // body to `body`, and returns how many it took. Bytes it leaves belong to no reply.
    qsizetype feed(QByteArrayView bytes, QByteArray &body);
    // The peer closed the connection: the end of a body that runs to the close, a failure
    // anywhere else before the reply is complete.
    void closed();

    Stage stage() const { return m_stage; }
    bool hasHead() const { return m_headDone; }
    bool receivedAny() const { return m_receivedAny; }
    int status() const { return m_status; }
    const HTTPHeaders &headers() const { return m_headers; }
    // Whether the connection may carry another request once the reply is complete.
    bool keepsConnection() const { return m_stage == Stage::complete && m_keepAlive; }
    const QString &failure() const { return m_failure; }

    // The failures callers compare against.
    static QString headLimitMessage();
    static QString speaksTLSMessage();
    static QString closedBeforeReplyMessage();

private:
    enum class Framing { none, length, chunked, untilClose };
    enum class ChunkPart { size, data, dataEnd, trailers };

    qsizetype feedLine(QByteArrayView bytes, qsizetype budget);
    void wholeLine(QByteArrayView line);
    qsizetype feedStart(QByteArrayView bytes);
    qsizetype feedBody(QByteArrayView bytes, QByteArray &body);
    qsizetype feedChunked(QByteArrayView bytes, QByteArray &body);
    void headLine(QByteArrayView line);
    bool statusLine(QByteArrayView line);
    bool fieldLine(QByteArrayView line);
    bool continuationLine(QByteArrayView line);
    void endOfHead();
    void chunkSizeLine(QByteArrayView line);
    void fail(const QString &text);
    void complete();

    bool m_headRequest;
    Stage m_stage = Stage::head;
    bool m_receivedAny = false;
    bool m_headDone = false;
    bool m_keepAlive = false;
    int m_status = 0;
    bool m_http10 = false;
    HTTPHeaders m_headers;
    bool m_continuable = false;     // the last line was a field, which a folded line continues
    bool m_irregularFraming = false; // a framing field was folded or spaced before its colon
    QByteArray m_line;         // the line being read
    qsizetype m_lineBytes = 0; // head (or trailer) bytes read, counted against the cap
    Framing m_framing = Framing::none;
    ChunkPart m_chunkPart = ChunkPart::size;
    qint64 m_remaining = 0; // of the body, or of the current chunk
    QString m_failure;
};

} // namespace marrowick
