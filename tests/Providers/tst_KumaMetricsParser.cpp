#include "MarrowickKit/Providers/KumaMetricsParser.h"

#include <QTest>

using namespace marrowick;

class TestKumaMetricsParser : public QObject {
    Q_OBJECT
private slots:
    void parse_data();
    void parse();
};

namespace {

// "<id>|<status>|<latency or ->", compact enough to list whole expectations in a table. A row
// whose id is not its name reads "<name> as <id>|...".
QStringList described(const QList<ServiceRow> &rows)
{
    QStringList lines;
    for (const auto &row : rows) {
        // No row carries a detail; one that does shows up here.
        const QString odd = row.detail ? QStringLiteral("!") : QString();
        const QString id = row.id == row.name ? row.id : row.name + QStringLiteral(" as ") + row.id;
        lines.append(odd + id + u'|' + serviceStatusText(row.status) + u'|'
                     + (row.latencyMs ? QString::number(*row.latencyMs) : QStringLiteral("-")));
    }
    return lines;
}

// Exposition text as the prom-client library writes an Uptime Kuma metrics page.
const char *realPage = R"(# HELP process_cpu_user_seconds_total Total user CPU time spent in seconds.
# TYPE process_cpu_user_seconds_total counter
process_cpu_user_seconds_total 12.34 1700000000000
# HELP monitor_cert_days_remaining The number of days remaining until the certificate expires
# TYPE monitor_cert_days_remaining gauge
monitor_cert_days_remaining{monitor_name="Web",monitor_type="http",monitor_url="https://example.com/",monitor_hostname="null",monitor_port="null"} 42
# HELP monitor_response_time Monitor Response Time (ms)
# TYPE monitor_response_time gauge
monitor_response_time{monitor_name="Web",monitor_type="http",monitor_url="https://example.com/",monitor_hostname="null",monitor_port="null"} 37
monitor_response_time{monitor_name="Say \"hi\"",monitor_type="keyword",monitor_url="https://example.com/",monitor_hostname="null",monitor_port="null"} NaN
monitor_response_time{monitor_name="C:\\share",monitor_type="smb",monitor_url="",monitor_hostname="nas",monitor_port="445"} +Inf
monitor_response_time{monitor_name="two\nlines",monitor_type="ping",monitor_url="",monitor_hostname="10.0.0.1",monitor_port="null"} 0.25 1700000000000
# HELP monitor_status Monitor Status (1 = UP, 0= DOWN, 2= PENDING, 3= MAINTENANCE)
# TYPE monitor_status gauge
monitor_status{monitor_name="Web",monitor_type="http",monitor_url="https://example.com/",monitor_hostname="null",monitor_port="null"} 1
monitor_status{monitor_name="Say \"hi\"",monitor_type="keyword",monitor_url="https://example.com/",monitor_hostname="null",monitor_port="null"} 0
monitor_status{monitor_name="C:\\share",monitor_type="smb",monitor_url="",monitor_hostname="nas",monitor_port="445"} 3
monitor_status{monitor_name="two\nlines",monitor_type="ping",monitor_url="",monitor_hostname="10.0.0.1",monitor_port="null"} 2 1700000000000
)";

// Monitors that share a name, as the server lists them: the same service checked on two hosts,
// twice by URL, and twice with every label alike.
const char *sameNamePage = R"(monitor_response_time{monitor_name="Twin",monitor_type="port",monitor_url="https://",monitor_hostname="a.lan",monitor_port="22"} 4
monitor_response_time{monitor_name="Twin",monitor_type="ping",monitor_url="https://",monitor_hostname="b.lan",monitor_port="null"} 9
monitor_response_time{monitor_name="Web",monitor_type="http",monitor_url="https://one.lan/",monitor_hostname="null",monitor_port="null"} 30
monitor_response_time{monitor_name="Web",monitor_type="keyword",monitor_url="https://two.lan/",monitor_hostname="null",monitor_port="null"} 31
monitor_status{monitor_name="Twin",monitor_type="port",monitor_url="https://",monitor_hostname="a.lan",monitor_port="22"} 0
monitor_status{monitor_name="Twin",monitor_type="ping",monitor_url="https://",monitor_hostname="b.lan",monitor_port="null"} 1
monitor_status{monitor_name="Web",monitor_type="http",monitor_url="https://one.lan/",monitor_hostname="null",monitor_port="null"} 1
monitor_status{monitor_name="Web",monitor_type="keyword",monitor_url="https://two.lan/",monitor_hostname="null",monitor_port="null"} 0
monitor_status{monitor_name="Solo",monitor_type="dns",monitor_url="https://",monitor_hostname="null",monitor_port="null"} 1
monitor_status{monitor_name="Same",monitor_type="push",monitor_url="https://",monitor_hostname="null",monitor_port="null"} 1
monitor_status{monitor_name="Same",monitor_type="push",monitor_url="https://",monitor_hostname="null",monitor_port="null"} 0
)";

} // namespace

void TestKumaMetricsParser::parse_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("rows");

    const auto status = [](const char *labels, const char *value) {
        return QStringLiteral("monitor_status{%1} %2\n").arg(QString::fromUtf8(labels), QString::fromUtf8(value));
    };
    const auto time = [](const char *labels, const char *value) {
        return QStringLiteral("monitor_response_time{%1} %2\n").arg(QString::fromUtf8(labels), QString::fromUtf8(value));
    };

    QTest::newRow("empty") << QString() << QStringList();
    QTest::newRow("comments and other metrics")
        << QStringLiteral("# HELP monitor_status x\n# TYPE monitor_status gauge\nup 1\nmonitor_cert_days_remaining{monitor_name=\"a\"} 3\n")
        << QStringList();
    QTest::newRow("prometheus client page")
        << QString::fromUtf8(realPage)
        << QStringList{"Web|up|37", "Say \"hi\"|down|-", "C:\\share|warn|-", "two\nlines|warn|0.25"};

    QTest::newRow("status then time") << status("monitor_name=\"NAS\"", "1") + time("monitor_name=\"NAS\"", "12.5")
                                      << QStringList{"NAS|up|12.5"};
    QTest::newRow("time then status") << time("monitor_name=\"NAS\"", "12.5") + status("monitor_name=\"NAS\"", "1")
                                      << QStringList{"NAS|up|12.5"};
    QTest::newRow("later time wins") << time("monitor_name=\"a\"", "5") + time("monitor_name=\"a\"", "7") + status("monitor_name=\"a\"", "1")
                                     << QStringList{"a|up|7"};
    QTest::newRow("unreadable time keeps earlier")
        << time("monitor_name=\"a\"", "5") + time("monitor_name=\"a\"", "-1") + time("monitor_name=\"a\"", "fast")
               + status("monitor_name=\"a\"", "1")
        << QStringList{"a|up|5"};

    QTest::newRow("status values")
        << status("monitor_name=\"a\"", "0") + status("monitor_name=\"b\"", "2") + status("monitor_name=\"c\"", "3")
               + status("monitor_name=\"d\"", "1.0") + status("monitor_name=\"e\"", "") + status("monitor_name=\"f\"", "4")
               + status("monitor_name=\"g\"", "01")
        << QStringList{"a|down|-", "b|warn|-", "c|warn|-", "d|unknown|-", "e|unknown|-", "f|unknown|-", "g|unknown|-"};

    QTest::newRow("latency forms")
        << time("monitor_name=\"neg\"", "-1") + time("monitor_name=\"nan\"", "NaN") + time("monitor_name=\"exp\"", "1e3")
               + time("monitor_name=\"inf\"", "+Inf") + time("monitor_name=\"huge\"", "1e400")
               + time("monitor_name=\"hex\"", "0x10") + time("monitor_name=\"space\"", "\v5")
               + status("monitor_name=\"neg\"", "1") + status("monitor_name=\"nan\"", "1") + status("monitor_name=\"exp\"", "1")
               + status("monitor_name=\"inf\"", "1") + status("monitor_name=\"huge\"", "1") + status("monitor_name=\"hex\"", "1")
               + status("monitor_name=\"space\"", "1")
        << QStringList{"neg|up|-", "nan|up|-", "exp|up|1000", "inf|up|-", "huge|up|-", "hex|up|16", "space|up|-"};

    QTest::newRow("no monitor name") << status("job=\"kuma\"", "1") << QStringList();
    QTest::newRow("no closing brace") << QStringLiteral("monitor_status{monitor_name=\"a\" 1\n") << QStringList();
    QTest::newRow("space before brace") << QStringLiteral("monitor_status {monitor_name=\"a\"} 1\n") << QStringList();
    QTest::newRow("longer metric name") << QStringLiteral("monitor_status_total{monitor_name=\"a\"} 1\n") << QStringList();
    QTest::newRow("no labels") << QStringLiteral("monitor_status{} 1\nmonitor_status 1\n") << QStringList();

    QTest::newRow("escaped quotes") << status("monitor_name=\"say \\\"hi\\\"\"", "1") << QStringList{"say \"hi\"|up|-"};
    QTest::newRow("escaped backslash before quote")
        << status("monitor_name=\"dir\\\\\",job=\"x\"", "1") << QStringList{"dir\\|up|-"};
    QTest::newRow("label written twice") << status("monitor_name=\"a\",monitor_name=\"b\"", "1") << QStringList{"b|up|-"};
    QTest::newRow("malformed pairs between labels")
        << status("junk, =\"x\",monitor_name=\"a\",bad=unquoted,9x=\"y\"", "0") << QStringList{"a|down|-"};
    QTest::newRow("brace inside a label value")
        << status("monitor_name=\"api {prod}\",job=\"}\"", "0") + time("monitor_name=\"api {prod}\"", "8")
        << QStringList{"api {prod}|down|8"};
    QTest::newRow("unterminated value ends at next brace")
        << status("monitor_name=\"a\",job=\"x", "1") << QStringList{"a|up|-"};
    QTest::newRow("monitors sharing a name")
        << QString::fromUtf8(sameNamePage)
        << QStringList{"Twin as Twin (a.lan:22)|down|4", "Twin as Twin (b.lan)|up|9", "Web as Web (https://one.lan/)|up|30",
                       "Web as Web (https://two.lan/)|down|31", "Solo|up|-", "Same as Same (push)|up|-",
                       "Same as Same (push) #2|down|-"};
    QTest::newRow("shared name without labels")
        << status("monitor_name=\"a\"", "1") + status("monitor_name=\"a\"", "0") + time("monitor_name=\"a\"", "3")
        << QStringList{"a|up|3", "a as a #2|down|3"};
    QTest::newRow("suffixed id already a name")
        << status("monitor_name=\"a #2\"", "1") + status("monitor_name=\"a\"", "1") + status("monitor_name=\"a\"", "0")
        << QStringList{"a #2|up|-", "a|up|-", "a as a #3|down|-"};
    QTest::newRow("alike series number on past a taken suffix")
        << status("monitor_name=\"a\"", "1") + status("monitor_name=\"a\"", "0") + status("monitor_name=\"a #3\"", "1")
               + status("monitor_name=\"a\"", "2") + status("monitor_name=\"a\"", "3")
        << QStringList{"a|up|-", "a as a #2|down|-", "a #3|up|-", "a as a #4|warn|-", "a as a #5|warn|-"};
    QTest::newRow("unique name takes a time of other labels")
        << status("monitor_name=\"a\",job=\"x\"", "1") + time("monitor_name=\"a\"", "6") << QStringList{"a|up|6"};
    QTest::newRow("shared name takes only its own series' time")
        << status("monitor_name=\"a\",monitor_type=\"ping\"", "1") + status("monitor_name=\"a\",monitor_type=\"dns\"", "1")
               + time("monitor_name=\"a\"", "6") + time("monitor_name=\"a\",monitor_type=\"dns\"", "7")
        << QStringList{"a as a (ping)|up|-", "a as a (dns)|up|7"};

    QTest::newRow("tabs around value") << QStringLiteral("monitor_status{monitor_name=\"a\"}\t 2\t\n") << QStringList{"a|warn|-"};
    QTest::newRow("timestamp after value") << status("monitor_name=\"a\"", "0 1700000000000") << QStringList{"a|down|-"};
    QTest::newRow("tab before timestamp") << status("monitor_name=\"a\"", "0\t1700000000000") << QStringList{"a|down|-"};
    QTest::newRow("CR LF line ends")
        << QStringLiteral("monitor_status{monitor_name=\"a\"} 1\r\nmonitor_response_time{monitor_name=\"a\"} 3\r\n"
                          "monitor_status{monitor_name=\"b\"} 0\r\n")
        << QStringList{"a|up|3", "b|down|-"};
    QTest::newRow("blank lines") << QStringLiteral("\n\n") + status("monitor_name=\"a\"", "1") + QStringLiteral("\n\n")
                                 << QStringList{"a|up|-"};
    QTest::newRow("unicode name") << status("monitor_name=\"Wohnzimmer 🏠\"", "1") << QStringList{"Wohnzimmer 🏠|up|-"};

    QTest::newRow("garbage") << QStringLiteral("monitor_status{\nmonitor_status{monitor_name=\"\\\nmonitor_status{monitor_name=}}} 1\n\0\x01")
                             << QStringList();
    QTest::newRow("truncated mid-label") << QStringLiteral("monitor_status{monitor_name=\"a") << QStringList();
}

void TestKumaMetricsParser::parse()
{
    QFETCH(QString, text);
    QFETCH(QStringList, rows);
    QCOMPARE(described(KumaMetricsParser::parse(text)), rows);
}

QTEST_GUILESS_MAIN(TestKumaMetricsParser)
#include "tst_KumaMetricsParser.moc"
