// Feeds arbitrary bytes, read as UTF-8 (invalid sequences replaced, so any input is a page; the
// provider hands on only valid pages), to the parser, and checks what it promises of the rows:
// alerts, history and layout are keyed by a row's id, so no two rows share one, and a monitor
// whose name no other has keeps the name as its id.
#include "MarrowickKit/Providers/KumaMetricsParser.h"

#include <QHash>
#include <QSet>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

using namespace marrowick;

namespace {

void check(const QString &text, const QList<ServiceRow> &rows)
{
    QHash<QString, int> nameCounts;
    for (const auto &row : rows)
        ++nameCounts[row.name];
    QSet<QString> ids;
    for (const auto &row : rows) {
        if (ids.contains(row.id))
            std::abort();
        ids.insert(row.id);
        // A shared name is told apart by what follows it; a name of its own stands alone.
        if (!row.id.startsWith(row.name) || (nameCounts.value(row.name) == 1 && row.id != row.name))
            std::abort();
        if (row.detail)
            std::abort();
        if (row.latencyMs && (!std::isfinite(*row.latencyMs) || *row.latencyMs < 0))
            std::abort();
    }
    // One row per status line at most.
    if (rows.size() > text.count(QStringLiteral("monitor_status{")))
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    const auto rows = KumaMetricsParser::parse(text);
    check(text, rows);
    // A carriage return before a line feed belongs to the line end, so a page served with
    // CR LF line ends reads as the same page.
    if (!text.contains(u'\r')) {
        QString crlf = text;
        crlf.replace(u'\n', QStringLiteral("\r\n"));
        if (KumaMetricsParser::parse(crlf) != rows)
            std::abort();
    }
    return 0;
}
