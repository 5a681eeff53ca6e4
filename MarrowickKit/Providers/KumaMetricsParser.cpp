#include "MarrowickKit/Providers/KumaMetricsParser.h"

#include <QHash>
#include <QStringView>

#include <cmath>
#include <cstdlib>
#include <locale.h>
#include <optional>

namespace marrowick::KumaMetricsParser {

namespace {

struct Sample {
    QString monitorName;
    QStringView value;
};

bool isNameStart(QChar c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || c == u'_';
}

bool isNameChar(QChar c)
{
    return isNameStart(c) || (c >= u'0' && c <= u'9');
}

// The exposition format escapes only backslash, double quote and line feed; any other
// escaped character stands for itself.
QString unescaped(QStringView raw)
{
    if (!raw.contains(u'\\'))
        return raw.toString();
    QString value;
    value.reserve(raw.size());
    for (qsizetype i = 0; i < raw.size(); ++i) {
        QChar c = raw[i];
        if (c == u'\\' && i + 1 < raw.size()) {
            c = raw[++i];
            if (c == u'n')
                c = u'\n';
        }
        value.append(c);
    }
    return value;
}

// One scan over `name="value"` pairs after the opening brace. A "}" inside a quoted value
// belongs to the value, so a monitor named "api {prod}" keeps its labels. Text that is not a
// label pair (commas, spaces, malformed pairs) is skipped; of a label written twice the later
// value counts. Returns the position of the closing brace, or -1 when the line has none.
qsizetype scanLabels(QStringView line, qsizetype pos, std::optional<QString> &monitorName)
{
    while (pos < line.size()) {
        const QChar c = line[pos];
        if (c == u'}')
            return pos;
        if (!isNameStart(c)) {
            ++pos;
            continue;
        }
        qsizetype nameEnd = pos + 1;
        while (nameEnd < line.size() && isNameChar(line[nameEnd]))
            ++nameEnd;
        // No pair can start inside this name unless the name itself is followed by `="`.
        if (nameEnd + 1 >= line.size() || line[nameEnd] != u'=' || line[nameEnd + 1] != u'"') {
            pos = nameEnd;
            continue;
        }
        const qsizetype valueStart = nameEnd + 2;
        qsizetype valueEnd = valueStart;
        while (valueEnd < line.size() && line[valueEnd] != u'"')
            valueEnd += line[valueEnd] == u'\\' ? 2 : 1;
        if (valueEnd >= line.size()) {
            // An unterminated value: no further pair can match, and the first brace after its
            // opening quote ends the label list.
            const qsizetype brace = line.indexOf(u'}', valueStart);
            return brace;
        }
        if (line.sliced(pos, nameEnd - pos) == u"monitor_name")
            monitorName = unescaped(line.sliced(valueStart, valueEnd - valueStart));
        pos = valueEnd + 1;
    }
    return -1;
}

bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t';
}

// The first blank-separated token after the label list; a timestamp after it is ignored.
QStringView firstToken(QStringView rest)
{
    qsizetype start = 0;
    while (start < rest.size() && isBlank(rest[start]))
        ++start;
    qsizetype end = start;
    while (end < rest.size() && !isBlank(rest[end]))
        ++end;
    return rest.sliced(start, end - start);
}

std::optional<Sample> sample(QStringView line, QStringView metric)
{
    if (!line.startsWith(metric) || line.size() <= metric.size() || line[metric.size()] != u'{')
        return std::nullopt;
    std::optional<QString> monitorName;
    const qsizetype brace = scanLabels(line, metric.size() + 1, monitorName);
    if (brace < 0 || !monitorName)
        return std::nullopt;
    return Sample{*monitorName, firstToken(line.sliced(brace + 1))};
}

// The whole text as one C-locale floating-point literal (strtod syntax, not the user's locale).
std::optional<double> number(QStringView text)
{
    if (text.isEmpty())
        return std::nullopt;
    QByteArray bytes;
    bytes.reserve(text.size());
    for (const QChar c : text) {
        // Every valid literal is ASCII; a leading space or control character must not be skipped.
        if (c.unicode() <= 0x20 || c.unicode() >= 0x7f)
            return std::nullopt;
        bytes.append(char(c.unicode()));
    }
    static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", locale_t(0));
    char *end = nullptr;
    const double value = strtod_l(bytes.constData(), &end, cLocale);
    if (end != bytes.constData() + bytes.size())
        return std::nullopt;
    return value;
}

ServiceStatus statusFor(QStringView value)
{
    if (value == u"0")
        return ServiceStatus::down;
    if (value == u"1")
        return ServiceStatus::up;
    if (value == u"2" || value == u"3")
        return ServiceStatus::warn;
    return ServiceStatus::unknown;
}

// Lines end at line feeds; a carriage return before the line feed belongs to the line end.
QList<QStringView> lines(QStringView text)
{
    QList<QStringView> result;
    qsizetype start = 0;
    while (start < text.size()) {
        qsizetype end = text.indexOf(u'\n', start);
        if (end < 0)
            end = text.size();
        QStringView line = text.sliced(start, end - start);
        if (line.endsWith(u'\r'))
            line.chop(1);
        if (!line.isEmpty())
            result.append(line);
        start = end + 1;
    }
    return result;
}

} // namespace

QList<ServiceRow> parse(const QString &text)
{
    const auto allLines = lines(text);

    QHash<QString, double> responseTimes;
    for (const QStringView line : allLines) {
        const auto found = sample(line, u"monitor_response_time");
        if (!found)
            continue;
        const auto milliseconds = number(found->value);
        // An infinite or NaN latency is no latency: it could not be stored or drawn.
        if (milliseconds && std::isfinite(*milliseconds) && *milliseconds >= 0)
            responseTimes.insert(found->monitorName, *milliseconds);
    }

    QList<ServiceRow> rows;
    for (const QStringView line : allLines) {
        const auto found = sample(line, u"monitor_status");
        if (!found)
            continue;
        ServiceRow row;
        row.id = found->monitorName;
        row.name = found->monitorName;
        row.status = statusFor(found->value);
        if (const auto it = responseTimes.constFind(found->monitorName); it != responseTimes.constEnd())
            row.latencyMs = *it;
        rows.append(row);
    }
    return rows;
}

} // namespace marrowick::KumaMetricsParser
