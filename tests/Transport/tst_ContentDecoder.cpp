#include "MarrowickKit/Transport/ContentDecoder.h"

#include "support/Compression.h"

#include <QTest>

#include <optional>

using namespace marrowick;
using namespace marrowick::test;

namespace {

// What the decoder makes of `body` when it arrives cut at `cuts` (ascending offsets): the
// decoded bytes, or nothing when the body is undecodable.
std::optional<QByteArray> decoded(const QByteArray &encoding, QByteArrayView body,
                                  std::initializer_list<qsizetype> cuts)
{
    const auto decoder = ContentDecoder::forEncoding(encoding);
    QByteArray output;
    qsizetype from = 0;
    for (qsizetype to : cuts) {
        if (!decoder->feed(body.sliced(from, to - from), output, 1 << 20))
            return std::nullopt;
        from = to;
    }
    if (!decoder->feed(body.sliced(from), output, 1 << 20) || !decoder->isWhole())
        return std::nullopt;
    return output;
}

} // namespace

class TestContentDecoder : public QObject {
    Q_OBJECT

private slots:
    // A body decodes to one result however the connection cuts it: every member of a gzip body
    // is read, zero padding or other bytes after the last member are dropped (as gunzip does),
    // and a member cut short is undecodable wherever the cut falls.
    void oneResultForEverySplit_data()
    {
        QTest::addColumn<QByteArray>("encoding");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<std::optional<QByteArray>>("result"); // nothing: undecodable
        const QByteArray first("{\"a\":1,");
        const QByteArray second("\"b\":2}");
        const QByteArray both = first + second;
        const QByteArray a = gzipMember(first);
        const QByteArray b = gzipMember(second);
        const QByteArray zlib = qCompress(both).mid(4);
        const std::optional<QByteArray> undecodable;
        QByteArray badChecksum = b;
        badChecksum[badChecksum.size() - 8] = char(badChecksum[badChecksum.size() - 8] ^ 1);
        QTest::newRow("two gzip members") << QByteArray("gzip") << a + b << std::optional(both);
        QTest::newRow("an empty member between") << QByteArray("gzip") << a + gzipMember({}) + b << std::optional(both);
        QTest::newRow("zero padding after the last") << QByteArray("gzip") << a + b + QByteArray(8, '\0')
                                                     << std::optional(both);
        QTest::newRow("other bytes after the last") << QByteArray("gzip") << a + "junk!" << std::optional(first);
        QTest::newRow("second member cut after its magic") << QByteArray("gzip") << a + "\x1f\x8b" << undecodable;
        QTest::newRow("second member cut after one byte") << QByteArray("gzip") << a + "\x1f" << undecodable;
        QTest::newRow("second member cut short") << QByteArray("gzip") << a + b.chopped(1) << undecodable;
        QTest::newRow("second member's checksum wrong") << QByteArray("gzip") << a + badChecksum << undecodable;
        QTest::newRow("deflate") << QByteArray("deflate") << zlib << std::optional(both);
        QTest::newRow("deflate, bytes after the end") << QByteArray("deflate") << zlib + "junk!" << std::optional(both);
        QTest::newRow("raw deflate") << QByteArray("deflate") << zlib.mid(2).chopped(4) << std::optional(both);
        QTest::newRow("deflate cut short") << QByteArray("deflate") << zlib.chopped(1) << undecodable;
    }

    void oneResultForEverySplit()
    {
        QFETCH(QByteArray, encoding);
        QFETCH(QByteArray, body);
        QFETCH(std::optional<QByteArray>, result);
        QVERIFY(!body.isEmpty());
        for (qsizetype first = 0; first <= body.size(); ++first) {
            for (qsizetype second = first; second <= body.size(); ++second) {
                const auto got = decoded(encoding, body, {first, second});
                const QString text = got ? QString::fromLatin1(*got) : QStringLiteral("undecodable");
                if (got != result)
                    QFAIL(qPrintable(QStringLiteral("cut at %1 and %2: %3").arg(first).arg(second).arg(text)));
            }
        }
    }
};

QTEST_GUILESS_MAIN(TestContentDecoder)
#include "tst_ContentDecoder.moc"
