#include "Marrowick/State/WidgetLayout.h"

#include "Marrowick/State/AppSettings.h"
#include "MarrowickKit/Model/JsonReading.h"
#include "MarrowickKit/Model/JsonWriter.h"
#include "MarrowickKit/Model/UuidText.h"

#include <QHash>

#include <algorithm>

namespace marrowick {

namespace {

QByteArray stringArray(const QList<QString> &strings)
{
    return writeJson(QJsonArray::fromStringList(strings), JsonStyle::compact);
}

// Sets have no order of their own; sorting keeps the stored bytes stable between saves.
QByteArray stringArray(const QSet<QString> &strings)
{
    QList<QString> sorted(strings.begin(), strings.end());
    std::sort(sorted.begin(), sorted.end());
    return stringArray(sorted);
}

QList<QString> readStrings(const JsonObjectReader &reader, const QString &key)
{
    return readList(reader.array(key), reader.pathOf(key), readString);
}

QSet<QString> readStringSet(const JsonObjectReader &reader, const QString &key)
{
    const QList<QString> strings = readStrings(reader, key);
    return QSet<QString>(strings.begin(), strings.end());
}

} // namespace

QByteArray WidgetLayout::encode() const
{
    // Members in field order, as the layout has always been written.
    return "{\"order\":" + stringArray(order) + ",\"hidden\":" + stringArray(hidden)
        + ",\"sourceOrder\":" + stringArray(sourceOrder) + ",\"collapsed\":" + stringArray(collapsed) + '}';
}

WidgetLayout WidgetLayout::decode(const QByteArray &data)
{
    const JsonObjectReader reader(parseJsonDocument(data), QString());
    WidgetLayout layout;
    layout.order = readStrings(reader, QStringLiteral("order"));
    layout.hidden = readStringSet(reader, QStringLiteral("hidden"));
    layout.sourceOrder = readStrings(reader, QStringLiteral("sourceOrder"));
    layout.collapsed = readStringSet(reader, QStringLiteral("collapsed"));
    return layout;
}

WidgetLayout WidgetLayout::load(const AppSettings &settings)
{
    const std::optional<QByteArray> data = settings.widgetLayoutData();
    if (!data)
        return {};
    try {
        return decode(*data);
    } catch (const JsonDecodeError &) {
        return {};
    }
}

void WidgetLayout::save(AppSettings &settings) const
{
    settings.setWidgetLayoutData(encode());
}

QList<QUuid> WidgetLayout::orderedSources(const QList<AnySourceConfig> &sources) const
{
    QSet<QUuid> present;
    for (const AnySourceConfig &source : sources)
        present.insert(source.id());

    QList<QUuid> result;
    QSet<QUuid> placed;
    const auto place = [&](const QUuid &id) {
        if (!present.contains(id) || placed.contains(id))
            return;
        placed.insert(id);
        result.append(id);
    };
    for (const QString &text : sourceOrder) {
        if (const std::optional<QUuid> id = parseUuid(text))
            place(*id);
    }
    for (const AnySourceConfig &source : sources)
        place(source.id());
    return result;
}

QList<WidgetEntry> WidgetLayout::orderedEntries(const QList<WidgetEntry> &entries) const
{
    QHash<QString, qsizetype> lastIndexOfKey;
    for (qsizetype i = 0; i < entries.size(); ++i)
        lastIndexOfKey.insert(entries.at(i).key, i);

    QList<WidgetEntry> result;
    QSet<QString> placed;
    for (const QString &key : order) {
        const auto found = lastIndexOfKey.constFind(key);
        if (found == lastIndexOfKey.cend())
            continue;
        result.append(entries.at(*found));
        placed.insert(key);
    }
    for (const WidgetEntry &entry : entries) {
        if (placed.contains(entry.key))
            continue;
        placed.insert(entry.key);
        result.append(entry);
    }
    return result;
}

QList<WidgetEntry> WidgetLayout::visibleEntries(const QList<WidgetEntry> &entries) const
{
    QList<WidgetEntry> result = orderedEntries(entries);
    result.removeIf([this](const WidgetEntry &entry) { return hidden.contains(entry.key); });
    return result;
}

bool WidgetLayout::renameKeys(const QHash<QString, QString> &newKeys)
{
    bool changed = false;
    const QSet<QString> placed(order.cbegin(), order.cend());
    QList<QString> renamedOrder;
    for (const QString &key : std::as_const(order)) {
        const auto found = newKeys.constFind(key);
        if (found == newKeys.cend() || *found == key) {
            renamedOrder.append(key);
            continue;
        }
        changed = true;
        if (!placed.contains(*found))
            renamedOrder.append(*found);
    }
    order = std::move(renamedOrder);
    for (auto it = newKeys.cbegin(); it != newKeys.cend(); ++it) {
        if (it.key() != it.value() && hidden.remove(it.key())) {
            hidden.insert(it.value());
            changed = true;
        }
    }
    return changed;
}

void WidgetLayout::moveSources(const QList<qsizetype> &fromOffsets, qsizetype toOffset,
                               const QList<AnySourceConfig> &sources)
{
    QList<QString> texts;
    for (const QUuid &id : orderedSources(sources))
        texts.append(uuidText(id));
    if (std::optional<QList<QString>> moved = movedList(texts, fromOffsets, toOffset))
        sourceOrder = std::move(*moved);
}

void WidgetLayout::moveWidgets(const QList<qsizetype> &fromOffsets, qsizetype toOffset,
                               const QList<WidgetEntry> &entries)
{
    QList<QString> keys;
    for (const WidgetEntry &entry : orderedEntries(entries))
        keys.append(entry.key);
    std::optional<QList<QString>> moved = movedList(keys, fromOffsets, toOffset);
    if (!moved)
        return;
    const QSet<QString> sourceKeys(keys.begin(), keys.end());
    order.removeIf([&](const QString &key) { return sourceKeys.contains(key); });
    order.append(*moved);
}

} // namespace marrowick
