#include "MarrowickKit/Providers/KumaMetricsParser.h"

#include <QHash>
#include <QSet>
#include <QStringView>

#include <cmath>
#include <cstdlib>
#include <locale.h>
#include <optional>

namespace marrowick::KumaMetricsParser {

namespace {

struct Sample {
    QString monitorName;
    // The label list as written between the braces. The server writes the labels of one monitor
    // alike on every metric, so this text identifies the series.
    QStringView labels;
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
// value counts. Each pair goes to `take` (name, raw value). Returns the position of the closing
// brace, or -1 when the line has none.
template<typename Take>
qsizetype scanLabels(QStringView line, qsizetype pos, Take take)
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
        take(line.sliced(pos, nameEnd - pos), line.sliced(valueStart, valueEnd - valueStart));
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
    std::optional<QStringView> monitorName;
    const qsizetype start = metric.size() + 1;
    const qsizetype brace = scanLabels(line, start, [&](QStringView name, QStringView value) {
        if (name == u"monitor_name")
            monitorName = value;
    });
    if (brace < 0 || !monitorName)
        return std::nullopt;
    return Sample{unescaped(*monitorName), line.sliced(start, brace - start), firstToken(line.sliced(brace + 1))};
}

bool says(const QString &value)
{
    // The server writes unset fields as "null".
    return !value.isEmpty() && value != u"null" && value != u"undefined";
}

// What tells a monitor apart from others of its name, from its own labels alone, so it stays
// the same from poll to poll: the URL it checks, else its host (and port), else its type. A
// bare scheme is the server's placeholder URL for monitors that check no URL.
QString distinction(QStringView labelText)
{
    QString url, host, port, type;
    scanLabels(labelText, 0, [&](QStringView name, QStringView value) {
        if (name == u"monitor_url")
            url = unescaped(value);
        else if (name == u"monitor_hostname")
            host = unescaped(value);
        else if (name == u"monitor_port")
            port = unescaped(value);
        else if (name == u"monitor_type")
            type = unescaped(value);
    });
    if (says(url) && url != u"https://" && url != u"http://")
        return url;
    if (says(host))
        return says(port) ? host + u':' + port : host;
    return says(type) ? type : QString();
}

// The ids given so far, and for each base id the ordinal to try next, so that many series
// alike in every label cost one look-up each rather than one per series before them.
struct TakenIDs {
    QSet<QString> ids;
    QHash<QString, int> nextOrdinal;
};

// The widget id of a monitor whose name other monitors share. Alerts, history and layout are
// keyed by id, so each needs its own: the name followed by its distinction in parentheses,
// "Twin (https://a.lan/)"; without one, the plain name. Should that id be taken already (two
// series alike in every label), " #2", " #3" ... follow in line order. A name that occurs once
// keeps the name alone as its id, so what was stored under it stays valid.
QString sharedNameID(const Sample &sample, TakenIDs &taken)
{
    const QString what = distinction(sample.labels);
    const QString base = what.isEmpty() ? sample.monitorName : sample.monitorName + QStringLiteral(" (") + what + u')';
    QString id = base;
    int ordinal = taken.nextOrdinal.value(base, 2);
    while (taken.ids.contains(id))
        id = base + QStringLiteral(" #") + QString::number(ordinal++);
    taken.nextOrdinal.insert(base, ordinal);
    taken.ids.insert(id);
    return id;
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

    // Several monitors may share a name; each series is told apart by its whole label list.
    QHash<QStringView, double> timesBySeries;
    QHash<QString, double> timesByName;
    for (const QStringView line : allLines) {
        const auto found = sample(line, u"monitor_response_time");
        if (!found)
            continue;
        const auto milliseconds = number(found->value);
        // An infinite or NaN latency is no latency: it could not be stored or drawn.
        if (milliseconds && std::isfinite(*milliseconds) && *milliseconds >= 0) {
            timesBySeries.insert(found->labels, *milliseconds);
            timesByName.insert(found->monitorName, *milliseconds);
        }
    }

    QList<Sample> statuses;
    QHash<QString, int> nameCounts;
    for (const QStringView line : allLines) {
        if (auto found = sample(line, u"monitor_status")) {
            ++nameCounts[found->monitorName];
            statuses.append(std::move(*found));
        }
    }
    TakenIDs taken;
    for (const auto &status : std::as_const(statuses)) {
        if (nameCounts.value(status.monitorName) == 1)
            taken.ids.insert(status.monitorName);
    }

    QList<ServiceRow> rows;
    rows.reserve(statuses.size());
    for (const auto &status : std::as_const(statuses)) {
        const bool shared = nameCounts.value(status.monitorName) > 1;
        ServiceRow row;
        row.id = shared ? sharedNameID(status, taken) : status.monitorName;
        row.name = status.monitorName;
        row.status = statusFor(status.value);
        // A monitor of its own name may also take a response time whose labels differ a little;
        // one of a shared name only takes the time of its own series.
        if (const auto it = timesBySeries.constFind(status.labels); it != timesBySeries.constEnd())
            row.latencyMs = *it;
        else if (const auto byName = timesByName.constFind(status.monitorName); !shared && byName != timesByName.constEnd())
            row.latencyMs = *byName;
        rows.append(row);
    }
    return rows;
}

} // namespace marrowick::KumaMetricsParser
