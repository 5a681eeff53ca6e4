#include "MarrowickKit/Transport/DNSSDSRVResolver.h"

#include "support/LocalUDPServer.h"
#include "support/TestSupport.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>

using namespace marrowick;
using namespace marrowick::test;

// Before the first use of the type: an optimised build instantiates the metatype there.
Q_DECLARE_METATYPE(std::optional<marrowick::SRVRecord>)

namespace {

QByteArray recordData(quint16 port, const QList<QByteArray> &labels, bool terminated = true)
{
    QByteArray data("\x00\x0a\x00\x05", 4);
    data.append(static_cast<char>(port >> 8)).append(static_cast<char>(port & 0xff));
    for (const auto &label : labels)
        data.append(static_cast<char>(label.size())).append(label);
    if (terminated)
        data.append('\0');
    return data;
}

// A DNS server's reply to `query`, with response code `rcode` and, for 0, one SRV record.
QByteArray dnsReply(const QByteArray &query, int rcode, const SRVRecord &record)
{
    qsizetype end = 12;
    while (end < query.size() && query[end] != 0)
        end += quint8(query[end]) + 1;
    end += 5; // the root label, type and class
    QByteArray reply = query.first(2);
    reply += QByteArray("\x81\x80", 2);
    reply[3] = char(0x80 | rcode);
    reply += QByteArray("\x00\x01\x00", 3) + char(rcode == 0 ? 1 : 0) + QByteArray(4, '\0');
    reply += query.sliced(12, end - 12);
    if (rcode != 0)
        return reply;
    QByteArray data = recordData(record.port, record.host.toLatin1().split('.'));
    reply += QByteArray("\xc0\x0c\x00\x21\x00\x01\x00\x00\x00\x3c", 10);
    reply += char(data.size() >> 8);
    reply += char(data.size() & 0xff);
    return reply + data;
}

quint16 freeUDPPort()
{
    QUdpSocket probe;
    probe.bind(QHostAddress::LocalHost, 0);
    return probe.localPort();
}

} // namespace

class TestDNSSDSRVResolver : public QObject {
    Q_OBJECT

private:
    QProcess m_dnsmasq;
    quint16 m_dnsPort = 0;

    QCoro::Task<std::optional<SRVRecord>> lookUp(QString name)
    {
        return DNSSDSRVResolver(QHostAddress::LocalHost, m_dnsPort).resolve(name);
    }

private slots:
    void initTestCase()
    {
        const QString dnsmasq = QStandardPaths::findExecutable(QStringLiteral("dnsmasq"), {"/usr/sbin", "/sbin"});
        if (dnsmasq.isEmpty())
            QSKIP("dnsmasq is not installed (Debian package dnsmasq-base)");
        // dnsmasq also listens on TCP on the same port, which another test may hold: when it
        // cannot bind it exits, and another port is tried.
        for (int start = 0; start < 5; ++start) {
            m_dnsPort = freeUDPPort();
            m_dnsmasq.start(dnsmasq, {
                "--no-daemon", "--conf-file=/dev/null", "--pid-file", "--user=" + qEnvironmentVariable("USER", "root"),
                QStringLiteral("--port=%1").arg(m_dnsPort), "--listen-address=127.0.0.1", "--bind-interfaces",
                "--no-resolv", "--no-hosts", "--local=/example.test/",
                "--srv-host=_minecraft._tcp.play.example.test,mc-1.hosts.example.test,25570,0,5",
                "--srv-host=_minecraft._tcp.zero.example.test,zero.example.test,0",
            });
            QVERIFY(m_dnsmasq.waitForStarted());
            // Ready once it answers.
            for (int attempt = 0; attempt < 50 && m_dnsmasq.state() == QProcess::Running; ++attempt) {
                if (await(lookUp(QStringLiteral("_minecraft._tcp.play.example.test"))))
                    return;
                QTest::qWait(50);
            }
            if (m_dnsmasq.state() == QProcess::Running)
                break;
            m_dnsmasq.waitForFinished();
        }
        qWarning() << m_dnsmasq.readAllStandardError();
        QFAIL("dnsmasq did not answer");
    }

    void cleanupTestCase()
    {
        if (m_dnsmasq.state() != QProcess::NotRunning) {
            m_dnsmasq.terminate();
            m_dnsmasq.waitForFinished();
        }
    }

    void resolvesFromARealServer()
    {
        const auto record = await(lookUp(QStringLiteral("_minecraft._tcp.play.example.test")));
        QCOMPARE(record, (SRVRecord{QStringLiteral("mc-1.hosts.example.test"), 25570}));
    }

    void negativeAnswersGiveNothing_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("no such name") << QStringLiteral("_minecraft._tcp.absent.example.test");
        QTest::newRow("port 0") << QStringLiteral("_minecraft._tcp.zero.example.test");
    }

    void negativeAnswersGiveNothing()
    {
        QFETCH(QString, name);
        QCOMPARE(await(lookUp(name)), std::nullopt);
    }

    // A record, or the server's word that there is none, is kept for a minute; a server that
    // fails to answer is asked again. Without it a slow resolver was asked on every poll.
    void answersAreKeptForAMinute_data()
    {
        QTest::addColumn<int>("rcode");
        QTest::addColumn<double>("age");
        QTest::addColumn<bool>("asksAgain");
        QTest::newRow("a record, within the minute") << 0 << 59.9 << false;
        QTest::newRow("a record, a minute later") << 0 << 60.0 << true;
        QTest::newRow("no such name, within the minute") << 3 << 30.0 << false;
        QTest::newRow("a failing server") << 2 << 0.0 << true;
    }

    void answersAreKeptForAMinute()
    {
        QFETCH(int, rcode);
        QFETCH(double, age);
        QFETCH(bool, asksAgain);
        const SRVRecord record{QStringLiteral("mc-1.hosts.example.test"), 25570};
        LocalUDPServer server([rcode, record](const QByteArray &query) { return QList{dnsReply(query, rcode, record)}; });
        double now = 100;
        DNSSDSRVResolver resolver(QHostAddress::LocalHost, server.port(), [&now] { return now; });
        const QString name = QStringLiteral("_minecraft._tcp.play.example.test");
        QCOMPARE(await(resolver.resolve(name)), rcode == 0 ? std::optional(record) : std::nullopt);
        const qsizetype queries = server.received().size();
        now += age;
        QCOMPARE(await(resolver.resolve(name)), rcode == 0 ? std::optional(record) : std::nullopt);
        QCOMPARE(server.received().size() > queries, asksAgain);
    }

    // The resolver takes its own time; a caller that gives up stops waiting at once.
    void cancelled()
    {
        LocalUDPServer silent(LocalUDPServer::silent());
        DNSSDSRVResolver resolver(QHostAddress::LocalHost, silent.port());
        CancelSource source;
        QTimer::singleShot(20, [&source] { source.cancel(); });
        QVERIFY_THROWS_EXCEPTION(CancellationError,
                                 await(resolver.resolve(QStringLiteral("_minecraft._tcp.play.example.test"), source.token())));
        QCOMPARE(await(NoSRVResolver().resolve(QStringLiteral("_minecraft._tcp.play.example.test"))), std::nullopt);
    }

    void parseRecordData_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<std::optional<SRVRecord>>("expected");
        const std::optional<SRVRecord> none;
        QTest::newRow("three labels") << recordData(25565, {"mc", "example", "org"})
                                      << std::optional(SRVRecord{QStringLiteral("mc.example.org"), 25565});
        QTest::newRow("unterminated name") << recordData(19132, {"a", "b"}, false)
                                           << std::optional(SRVRecord{QStringLiteral("a.b"), 19132});
        QTest::newRow("six bytes") << QByteArray(6, '\1') << none;
        QTest::newRow("port 0") << recordData(0, {"mc"}) << none;
        QTest::newRow("label of 64") << recordData(25565, {QByteArray(64, 'a')}) << none;
        QTest::newRow("compression pointer") << recordData(25565, {}, false).append("\xc0\x0c", 2) << none;
        QTest::newRow("label past the end") << recordData(25565, {"mc"}, false).append("\x05" "ab", 3) << none;
        QTest::newRow("invalid UTF-8") << recordData(25565, {"\xff\xfe"}) << none;
        QTest::newRow("root name only") << recordData(25565, {}) << none;
    }

    void parseRecordData()
    {
        QFETCH(QByteArray, data);
        QFETCH(std::optional<SRVRecord>, expected);
        QCOMPARE(parseSRVRecordData(data), expected);
    }

    void isHostName_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("hostName");
        QTest::newRow("empty") << QString() << false;
        QTest::newRow("IPv4") << QStringLiteral("192.168.1.20") << false;
        QTest::newRow("IPv6") << QStringLiteral("2001:db8::1") << false;
        QTest::newRow("dotted name") << QStringLiteral("mc.example.org") << true;
        QTest::newRow("single label") << QStringLiteral("nas") << true;
        QTest::newRow("IPv6 with zone") << QStringLiteral("fe80::1%eth0") << false;
        QTest::newRow("IPv6 in brackets") << QStringLiteral("[2001:db8::1]") << false;
        QTest::newRow("IPv4 in brackets is no address") << QStringLiteral("[192.168.1.20]") << true;
    }

    void isHostName()
    {
        QFETCH(QString, text);
        QFETCH(bool, hostName);
        QCOMPARE(marrowick::isHostName(text), hostName);
    }
};

QTEST_GUILESS_MAIN(TestDNSSDSRVResolver)
#include "tst_DNSSDSRVResolver.moc"
