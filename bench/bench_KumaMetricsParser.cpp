// Parses a large Uptime Kuma metrics page and a few hostile ones and prints the time taken.
// Hostile pages must take time in proportion to their size, never its square.
#include "MarrowickKit/Providers/KumaMetricsParser.h"

#include <QElapsedTimer>

#include <cstdio>

using namespace marrowick;

namespace {

QString largePage(int monitors)
{
    QString page;
    for (int i = 0; i < monitors; ++i) {
        const QString labels = QStringLiteral("monitor_name=\"monitor %1 {x}\",monitor_type=\"http\",monitor_url="
                                              "\"https://example.com/%1\",monitor_hostname=\"null\",monitor_port=\"null\"")
                                   .arg(i);
        page += QStringLiteral("# HELP monitor_status Monitor Status\nmonitor_response_time{%1} %2\nmonitor_status{%1} 1\n")
                    .arg(labels)
                    .arg(i % 500);
    }
    return page;
}

void measure(const char *name, const QString &text)
{
    QElapsedTimer timer;
    timer.start();
    const auto rows = KumaMetricsParser::parse(text);
    std::printf("%-32s %9lld chars %7lld rows %8.2f ms\n", name, static_cast<long long>(text.size()),
                static_cast<long long>(rows.size()), timer.nsecsElapsed() / 1e6);
}

} // namespace

int main()
{
    constexpr int size = 4 * 1024 * 1024;
    measure("20000 monitors", largePage(20000));
    measure("one long label name", QStringLiteral("monitor_status{") + QString(size, u'a'));
    measure("unterminated value", QStringLiteral("monitor_status{a=\"") + QString(size, u'\\'));
    measure("many empty pairs", QStringLiteral("monitor_status{") + QStringLiteral("a=\"\",").repeated(size / 5));
    measure("backslash escapes", QStringLiteral("monitor_status{monitor_name=\"") + QString(size, u'\\') + QStringLiteral("\"} 1"));
    // Monitors that share a name and every label each need an id of their own.
    for (const int monitors : {5000, 10000, 20000})
        measure(qPrintable(QStringLiteral("%1 alike monitors").arg(monitors)),
                QStringLiteral("monitor_status{monitor_name=\"a\"} 1\n").repeated(monitors));
    return 0;
}
