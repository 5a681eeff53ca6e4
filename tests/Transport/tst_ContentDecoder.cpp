#include "MarrowickKit/Transport/ContentDecoder.h"

#include "support/Compression.h"

#include <QRandomGenerator>
#include <QTest>

using namespace marrowick;
using namespace marrowick::test;

namespace {

const QByteArray undecodable("<undecodable>");
const QByteArray tooLarge("<too large>");

// What the decoder makes of `body` under the Content-Encoding fields `encodings` when it arrives
// cut at `cuts` (ascending offsets): the decoded bytes, or a failure in angle brackets.
QByteArray decoded(const QByteArrayList &encodings, QByteArrayView body, QList<qsizetype> cuts, qint64 cap = 1 << 20)
{
    const auto decoder = ContentDecoder::forEncodings(encodings);
    if (!decoder)
        return "<none>";
    QByteArray output;
    cuts.append(body.size());
    qsizetype from = 0;
    for (qsizetype to : std::as_const(cuts)) {
        switch (decoder->feed(body.sliced(from, to - from), output, cap)) {
        case ContentDecoder::Result::fed:
            break;
        case ContentDecoder::Result::undecodable:
            return undecodable;
        case ContentDecoder::Result::unsupported:
            return "<unsupported " + decoder->unsupportedCoding() + '>';
        case ContentDecoder::Result::tooLarge:
            return tooLarge;
        }
        from = to;
    }
    return decoder->isWhole() ? output : undecodable;
}

// Bytes that no coding shrinks, the same in every run.
QByteArray noise(qsizetype size)
{
    QRandomGenerator random(7);
    QByteArray bytes(size, '\0');
    for (char &byte : bytes)
        byte = char(random.bounded(256));
    return bytes;
}

} // namespace

class TestContentDecoder : public QObject {
    Q_OBJECT

private slots:
    // A body decodes to one result however the connection cuts it: every member of a gzip body
    // is read, zero padding or other bytes after the last member are dropped (as gunzip does),
    // and a member cut short is undecodable wherever the cut falls. Every coding listed is
    // undone, the last applied first, over all the fields; one this client cannot undo fails
    // the body's first byte.
    void oneResultForEverySplit_data()
    {
        QTest::addColumn<QByteArrayList>("encodings");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QByteArray>("result");
        const QByteArray first("{\"a\":1,");
        const QByteArray second("\"b\":2}");
        const QByteArray both = first + second;
        const QByteArray a = gzipMember(first);
        const QByteArray b = gzipMember(second);
        const QByteArray zlib = qCompress(both).mid(4);
        const QByteArrayList gzip{"gzip"};
        QByteArray badChecksum = b;
        badChecksum[badChecksum.size() - 8] = char(badChecksum[badChecksum.size() - 8] ^ 1);
        QTest::newRow("two gzip members") << gzip << a + b << both;
        QTest::newRow("an empty member between") << gzip << a + gzipMember({}) + b << both;
        QTest::newRow("zero padding after the last") << gzip << a + b + QByteArray(8, '\0') << both;
        QTest::newRow("other bytes after the last") << gzip << a + "junk!" << first;
        QTest::newRow("second member cut after its magic") << gzip << a + "\x1f\x8b" << undecodable;
        QTest::newRow("second member cut after one byte") << gzip << a + "\x1f" << undecodable;
        QTest::newRow("second member cut short") << gzip << a + b.chopped(1) << undecodable;
        QTest::newRow("second member's checksum wrong") << gzip << a + badChecksum << undecodable;
        QTest::newRow("deflate") << QByteArrayList{"deflate"} << zlib << both;
        QTest::newRow("deflate, bytes after the end") << QByteArrayList{"deflate"} << zlib + "junk!" << both;
        QTest::newRow("raw deflate") << QByteArrayList{"deflate"} << zlib.mid(2).chopped(4) << both;
        QTest::newRow("deflate cut short") << QByteArrayList{"deflate"} << zlib.chopped(1) << undecodable;
        const QByteArray twice = gzipMember(gzipMember(both));
        QTest::newRow("gzip twice in one field") << QByteArrayList{"gzip, gzip"} << twice << both;
        QTest::newRow("gzip twice in two fields") << QByteArrayList{"gzip", "GZip"} << twice << both;
        QTest::newRow("gzip twice, decoded once") << gzip << twice << gzipMember(both);
        QTest::newRow("gzip twice, inner cut short") << QByteArrayList{"gzip, gzip"} << gzipMember(a.chopped(1))
                                                     << undecodable;
        QTest::newRow("deflate, then gzip") << QByteArrayList{"deflate", "x-gzip"} << gzipMember(zlib) << both;
        QTest::newRow("identity and empty elements") << QByteArrayList{"identity, ,gzip", " Identity "} << a << first;
        QTest::newRow("brotli") << QByteArrayList{"br"} << QByteArray("\x8b\x03\x80{}\x03", 6) << QByteArray("<unsupported br>");
        QTest::newRow("zstd under gzip") << QByteArrayList{"zstd", "gzip"} << gzipMember("(\xb5/\xfd") << QByteArray("<unsupported zstd>");
        QTest::newRow("gzip under an unknown coding") << QByteArrayList{"gzip, x-Custom"} << a << QByteArray("<unsupported x-custom>");
    }

    void oneResultForEverySplit()
    {
        QFETCH(QByteArrayList, encodings);
        QFETCH(QByteArray, body);
        QFETCH(QByteArray, result);
        QVERIFY(!body.isEmpty());
        for (qsizetype first = 0; first <= body.size(); ++first) {
            for (qsizetype second = first; second <= body.size(); ++second) {
                const QByteArray got = decoded(encodings, body, {first, second});
                if (got != result)
                    QFAIL(qPrintable(QStringLiteral("cut at %1 and %2: %3").arg(first).arg(second).arg(QString::fromLatin1(got))));
            }
        }
    }

    // Only codings that change the body make a decoder; a coding this client cannot undo fails
    // nothing when there is no body to read.
    void noBody_data()
    {
        QTest::addColumn<QByteArrayList>("encodings");
        QTest::addColumn<QByteArray>("result");
        QTest::newRow("no field") << QByteArrayList{} << QByteArray("<none>");
        QTest::newRow("identity") << QByteArrayList{"identity", ""} << QByteArray("<none>");
        QTest::newRow("brotli") << QByteArrayList{"br"} << QByteArray();
        QTest::newRow("gzip") << QByteArrayList{"gzip"} << QByteArray();
    }

    void noBody()
    {
        QFETCH(QByteArrayList, encodings);
        QFETCH(QByteArray, result);
        QCOMPARE(decoded(encodings, {}, {}), result);
    }

    // Every coding's output counts against the cap, so a body that inflates without end fails
    // at the cap whichever layer it hides in.
    void everyLayerBounded_data()
    {
        QTest::addColumn<QByteArrayList>("encodings");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<qsizetype>("size"); // -1: too large
        const qsizetype cap = 1 << 20;
        const QByteArray zeros(cap, '\0');
        QTest::newRow("exactly the cap") << QByteArrayList{"gzip"} << gzipMember(zeros) << cap;
        QTest::newRow("exactly the cap, twice coded") << QByteArrayList{"gzip, gzip"} << gzipMember(gzipMember(zeros)) << cap;
        QTest::newRow("one byte over") << QByteArrayList{"gzip"} << gzipMember(zeros + 'x') << qsizetype(-1);
        QTest::newRow("bomb, twice coded") << QByteArrayList{"gzip, deflate"}
                                           << qCompress(gzipMember(QByteArray(64 * cap, '\0')), 9).mid(4) << qsizetype(-1);
        QTest::newRow("outer layer over the cap") << QByteArrayList{"gzip", "gzip"} << gzipMember(gzipMember(noise(cap)))
                                                  << qsizetype(-1);
    }

    void everyLayerBounded()
    {
        QFETCH(QByteArrayList, encodings);
        QFETCH(QByteArray, body);
        QFETCH(qsizetype, size);
        const QByteArray got = decoded(encodings, body, {body.size() / 2});
        if (size < 0)
            QCOMPARE(got, tooLarge);
        else
            QCOMPARE(got.size(), size);
    }
};

QTEST_GUILESS_MAIN(TestContentDecoder)
#include "tst_ContentDecoder.moc"
