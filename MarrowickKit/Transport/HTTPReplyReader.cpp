#include "MarrowickKit/Transport/HTTPReplyReader.h"

#include <algorithm>
#include <limits>
#include <optional>

namespace marrowick {

namespace {

// A chunk-size line holds a hexadecimal size and perhaps a short extension.
constexpr qsizetype maxChunkLineBytes = 1024;

constexpr QByteArrayView statusPrefix("HTTP/1.");

QString malformedReply()
{
    return QStringLiteral("malformed reply");
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// RFC 9110 token characters, which header names are made of.
bool isTokenChar(char c)
{
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || isDigit(c))
        return true;
    return QByteArrayView("!#$%&'*+-.^_`|~").contains(c);
}

// A number in `base` (10 or 16), leading zeros and all, that fits in 63 bits.
std::optional<qint64> number(QByteArrayView text, int base)
{
    if (text.isEmpty())
        return std::nullopt;
    qint64 value = 0;
    for (const char c : text) {
        int digit = base;
        if (isDigit(c))
            digit = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        if (digit >= base || value > (std::numeric_limits<qint64>::max() - digit) / base)
            return std::nullopt;
        value = value * base + digit;
    }
    return value;
}

// The comma-separated elements of a header value, trimmed and lower-cased.
QList<QByteArray> listElements(const QByteArray &value)
{
    QList<QByteArray> elements;
    for (const QByteArray &element : value.split(',')) {
        const QByteArray trimmed = element.trimmed().toLower();
        if (!trimmed.isEmpty())
            elements.append(trimmed);
    }
    return elements;
}

QByteArrayView withoutTrailingWhitespace(QByteArrayView text)
{
    while (!text.isEmpty() && (text.back() == ' ' || text.back() == '\t'))
        text.chop(1);
    return text;
}

// The fields that tell where the body ends.
bool isFramingField(QByteArrayView name)
{
    return name.compare("Content-Length", Qt::CaseInsensitive) == 0
        || name.compare("Transfer-Encoding", Qt::CaseInsensitive) == 0;
}

// A TLS server's first record is a handshake (0x16) or an alert (0x15); no HTTP reply starts
// with either byte.
bool startsLikeTLS(QByteArrayView bytes)
{
    const auto type = static_cast<unsigned char>(bytes[0]);
    return type == 0x15 || type == 0x16;
}

} // namespace

QString HTTPReplyReader::headLimitMessage()
{
    return QStringLiteral("response headers exceeded %1-byte limit").arg(maxHeadBytes);
}

QString HTTPReplyReader::speaksTLSMessage()
{
    return QStringLiteral("server expects https");
}

QString HTTPReplyReader::closedBeforeReplyMessage()
{
    return QStringLiteral("connection closed before any reply");
}

qsizetype HTTPReplyReader::feed(QByteArrayView bytes, QByteArray &body)
{
    qsizetype taken = 0;
    if (!bytes.isEmpty() && m_stage != Stage::complete && m_stage != Stage::failed)
        m_receivedAny = true;
    while (taken < bytes.size() && (m_stage == Stage::head || m_stage == Stage::body)) {
        const QByteArrayView rest = bytes.sliced(taken);
        if (m_stage == Stage::body)
            taken += feedBody(rest, body);
        else if (m_status == 0 && m_line.size() < statusPrefix.size())
            taken += feedStart(rest);
        else
            taken += feedLine(rest, maxHeadBytes - m_lineBytes);
    }
    return taken;
}

// The first bytes tell at once whether an HTTP reply is coming at all, so a server that speaks
// another protocol fails without waiting for a line end that may never come.
qsizetype HTTPReplyReader::feedStart(QByteArrayView bytes)
{
    const qsizetype have = m_line.size();
    const qsizetype compared = std::min(bytes.size(), statusPrefix.size() - have);
    if (bytes.first(compared) == statusPrefix.sliced(have, compared))
        return feedLine(bytes, maxHeadBytes - m_lineBytes);
    fail(have == 0 && startsLikeTLS(bytes) ? speaksTLSMessage() : malformedReply());
    return 0;
}

// Takes bytes up to the end of the current line, at most `budget` of them: a longer line fails
// the reply. A whole line goes to the head or to the chunked body's framing.
qsizetype HTTPReplyReader::feedLine(QByteArrayView bytes, qsizetype budget)
{
    const qsizetype end = bytes.indexOf('\n');
    const qsizetype take = end < 0 ? bytes.size() : end + 1;
    const bool inHead = m_stage == Stage::head || m_chunkPart == ChunkPart::trailers;
    if (take > budget) {
        fail(inHead ? headLimitMessage() : malformedReply());
        return 0;
    }
    if (inHead)
        m_lineBytes += take;
    m_line.append(bytes.data(), end < 0 ? take : end);
    if (end < 0)
        return take;
    if (m_line.endsWith('\r'))
        m_line.chop(1);
    const QByteArray line = std::exchange(m_line, {});
    if (line.contains('\r') || line.contains('\0'))
        fail(malformedReply());
    else
        wholeLine(line);
    return take;
}

void HTTPReplyReader::wholeLine(QByteArrayView line)
{
    if (m_stage == Stage::head)
        return headLine(line);
    switch (m_chunkPart) {
    case ChunkPart::size:
        return chunkSizeLine(line);
    case ChunkPart::dataEnd:
        if (!line.isEmpty())
            return fail(malformedReply());
        m_chunkPart = ChunkPart::size;
        return;
    case ChunkPart::trailers:
        // Trailers are read like headers and dropped.
        if (line.isEmpty())
            return complete();
        if (!fieldLine(line))
            fail(malformedReply());
        return;
    case ChunkPart::data:
        return;
    }
}

void HTTPReplyReader::headLine(QByteArrayView line)
{
    if (m_status == 0) {
        if (!statusLine(line))
            fail(malformedReply());
    } else if (line.isEmpty()) {
        endOfHead();
    } else if (!fieldLine(line)) {
        fail(malformedReply());
    }
}

// "HTTP/1.x 200 OK"; the reason may be empty or missing.
bool HTTPReplyReader::statusLine(QByteArrayView line)
{
    if (line.size() < 12 || !line.startsWith("HTTP/1.") || !isDigit(line[7]) || line[8] != ' ')
        return false;
    if (!isDigit(line[9]) || !isDigit(line[10]) || !isDigit(line[11]) || (line.size() > 12 && line[12] != ' '))
        return false;
    m_http10 = line[7] == '0';
    m_continuable = false;
    m_status = (line[9] - '0') * 100 + (line[10] - '0') * 10 + (line[11] - '0');
    return m_status >= 100;
}

// "Name: value", also with white space before the colon, as some embedded servers send it. A
// line that starts with white space continues the field before it (obsolete line folding, read
// as one space); there is none to continue right after the status line. Either form in a field
// that frames the body keeps the connection from carrying another request: a reader that takes
// the field otherwise frames the reply otherwise, and the bytes after it must not count as the
// next reply.
bool HTTPReplyReader::fieldLine(QByteArrayView line)
{
    if (line.front() == ' ' || line.front() == '\t')
        return continuationLine(line);
    const qsizetype colon = line.indexOf(':');
    if (colon <= 0)
        return false;
    const QByteArrayView name = withoutTrailingWhitespace(line.first(colon));
    if (!std::all_of(name.begin(), name.end(), isTokenChar))
        return false;
    m_continuable = true;
    if (m_stage != Stage::head)
        return true;
    m_headers.append({name.toByteArray(), line.sliced(colon + 1).trimmed().toByteArray()});
    m_irregularFraming = m_irregularFraming || (name.size() < colon && isFramingField(name));
    return true;
}

bool HTTPReplyReader::continuationLine(QByteArrayView line)
{
    if (!m_continuable)
        return false;
    const QByteArrayView more = line.trimmed();
    if (m_stage != Stage::head || more.isEmpty())
        return true;
    auto &[name, value] = m_headers.last();
    if (!value.isEmpty())
        value += ' ';
    value += more;
    m_irregularFraming = m_irregularFraming || isFramingField(name);
    return true;
}

void HTTPReplyReader::endOfHead()
{
    // Interim replies (100 Continue, 103 Early Hints) come before the real one; nothing here
    // asks to switch protocols.
    if (m_status >= 100 && m_status <= 199) {
        if (m_status == 101)
            return fail(malformedReply());
        m_status = 0;
        m_headers.clear();
        m_irregularFraming = false;
        return;
    }
    m_continuable = false;
    QList<QByteArray> connection;
    QList<QByteArray> codings;
    std::optional<qint64> length;
    for (const auto &[name, value] : std::as_const(m_headers)) {
        if (name.compare("Connection", Qt::CaseInsensitive) == 0) {
            connection += listElements(value);
        } else if (name.compare("Transfer-Encoding", Qt::CaseInsensitive) == 0) {
            codings += listElements(value);
        } else if (name.compare("Content-Length", Qt::CaseInsensitive) == 0) {
            // Repeated lengths ("5, 5", or two fields) must agree. A head framed ambiguously
            // or malformed is no head at all, for a check that wants only the head too.
            for (const QByteArray &element : listElements(value)) {
                const auto parsed = number(element, 10);
                if (!parsed || (length && *length != *parsed))
                    return fail(malformedReply());
                length = parsed;
            }
            if (!length)
                return fail(malformedReply());
        }
    }
    const bool bodiless = m_headRequest || m_status == 204 || m_status == 304;
    m_headDone = true;
    // An HTTP/1.0 peer that names a transfer coding frames its replies in a way of its own. A
    // length beside a transfer coding is overridden by it, but a reader on the way may have
    // framed the body by the length: what follows on the connection is no reply to trust.
    const bool framedTwoWays = !bodiless && length && !codings.isEmpty();
    m_keepAlive = (m_http10 ? connection.contains("keep-alive") && codings.isEmpty() : !connection.contains("close"))
        && !m_irregularFraming && !framedTwoWays;
    if (bodiless) {
        m_framing = Framing::none;
    } else if (!codings.isEmpty()) {
        if (codings != QList<QByteArray>{"chunked"})
            return fail(QStringLiteral("unsupported transfer encoding"));
        m_framing = Framing::chunked;
    } else if (length) {
        m_framing = Framing::length;
        m_remaining = *length;
    } else {
        m_framing = Framing::untilClose;
        m_keepAlive = false;
    }
    m_lineBytes = 0;
    m_stage = Stage::body;
    if (m_framing == Framing::none || (m_framing == Framing::length && m_remaining == 0))
        complete();
}

qsizetype HTTPReplyReader::feedBody(QByteArrayView bytes, QByteArray &body)
{
    switch (m_framing) {
    case Framing::length: {
        const qsizetype take = qsizetype(std::min<qint64>(m_remaining, bytes.size()));
        body.append(bytes.data(), take);
        m_remaining -= take;
        if (m_remaining == 0)
            complete();
        return take;
    }
    case Framing::untilClose:
        body.append(bytes.data(), bytes.size());
        return bytes.size();
    case Framing::chunked:
        return feedChunked(bytes, body);
    case Framing::none:
        break;
    }
    return 0;
}

qsizetype HTTPReplyReader::feedChunked(QByteArrayView bytes, QByteArray &body)
{
    switch (m_chunkPart) {
    case ChunkPart::size:
        return feedLine(bytes, maxChunkLineBytes - m_line.size());
    case ChunkPart::data: {
        const qsizetype take = qsizetype(std::min<qint64>(m_remaining, bytes.size()));
        body.append(bytes.data(), take);
        m_remaining -= take;
        if (m_remaining == 0)
            m_chunkPart = ChunkPart::dataEnd;
        return take;
    }
    case ChunkPart::dataEnd:
        // The line end after the chunk's data.
        return feedLine(bytes, 2 - m_line.size());
    case ChunkPart::trailers:
        return feedLine(bytes, maxHeadBytes - m_lineBytes);
    }
    return 0;
}

// "1a3f", perhaps followed by ";name=value" extensions, which are ignored.
void HTTPReplyReader::chunkSizeLine(QByteArrayView line)
{
    const qsizetype extension = line.indexOf(';');
    const auto size = number((extension < 0 ? line : line.first(extension)).trimmed(), 16);
    if (!size)
        return fail(malformedReply());
    m_remaining = *size;
    m_chunkPart = *size == 0 ? ChunkPart::trailers : ChunkPart::data;
}

void HTTPReplyReader::closed()
{
    if (m_stage == Stage::complete || m_stage == Stage::failed)
        return;
    if (m_stage == Stage::body && m_framing == Framing::untilClose)
        complete();
    else if (!m_receivedAny)
        fail(closedBeforeReplyMessage());
    else if (m_stage == Stage::head)
        fail(QStringLiteral("connection closed in the middle of the headers"));
    else
        fail(QStringLiteral("connection closed in the middle of the body"));
}

void HTTPReplyReader::fail(const QString &text)
{
    m_stage = Stage::failed;
    m_failure = text;
    m_keepAlive = false;
}

void HTTPReplyReader::complete()
{
    m_stage = Stage::complete;
}

} // namespace marrowick
