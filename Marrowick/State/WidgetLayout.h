#pragma once

#include "MarrowickKit/Model/AnySourceConfig.h"
#include "MarrowickKit/Model/WidgetData.h"

#include <QByteArray>
#include <QList>
#include <QSet>
#include <QString>
#include <QUuid>

#include <optional>

namespace marrowick {

class AppSettings;

// One widget as the popover and the editor list it: its widget key and its data.
struct WidgetEntry {
    QString key;
    WidgetData widget;

    bool operator==(const WidgetEntry &) const = default;
};

// The user's arrangement of the popover. It names sources by their upper-case UUID text and
// widgets by their widget key, never by reference, so entries of deleted sources simply match
// nothing; nothing here prunes them.
struct WidgetLayout {
    // Widget keys in the user's order. Only the order of one source's keys among themselves
    // matters; keys of different sources may interleave.
    QList<QString> order;
    QSet<QString> hidden;
    QList<QString> sourceOrder;
    QSet<QString> collapsed;

    bool operator==(const WidgetLayout &) const = default;

    // Compact JSON object with the members "order", "hidden", "sourceOrder", "collapsed".
    QByteArray encode() const;
    // Strict: every member required and an array of strings. Throws JsonDecodeError.
    static WidgetLayout decode(const QByteArray &data);

    // A missing or unreadable stored entry gives the empty layout; nothing is written back.
    static WidgetLayout load(const AppSettings &settings);
    void save(AppSettings &settings) const;

    // Ids named in `sourceOrder` first, then every other source in stored order; each present
    // id exactly once.
    QList<QUuid> orderedSources(const QList<AnySourceConfig> &sources) const;
    // Placed widgets in the user's order, then unplaced ones as the source reports them.
    QList<WidgetEntry> orderedEntries(const QList<WidgetEntry> &entries) const;
    QList<WidgetEntry> visibleEntries(const QList<WidgetEntry> &entries) const;

    // Gives entries under an old widget key the new key; an entry whose new key is already
    // there goes. True when anything changed.
    bool renameKeys(const QHash<QString, QString> &newKeys);

    // Offsets and destination are positions in orderedSources() / orderedEntries() at the time
    // of the call, as a list's drag and drop reports them. Offsets outside the list are
    // ignored; a destination outside 0...count leaves the layout unchanged.
    void moveSources(const QList<qsizetype> &fromOffsets, qsizetype toOffset,
                     const QList<AnySourceConfig> &sources);
    void moveWidgets(const QList<qsizetype> &fromOffsets, qsizetype toOffset,
                     const QList<WidgetEntry> &entries);
};

// Moves the elements at `offsets` as one block, in their relative order, before the element
// that stood at `destination` (at the end when it equals the count). Nothing when the
// destination is out of range; offsets out of range are skipped.
template<typename T>
std::optional<QList<T>> movedList(const QList<T> &list, const QList<qsizetype> &offsets,
                                  qsizetype destination)
{
    if (destination < 0 || destination > list.size())
        return std::nullopt;
    QSet<qsizetype> moving;
    for (const qsizetype offset : offsets) {
        if (offset >= 0 && offset < list.size())
            moving.insert(offset);
    }
    QList<T> before, block, after;
    for (qsizetype i = 0; i < list.size(); ++i) {
        if (moving.contains(i))
            block.append(list.at(i));
        else if (i < destination)
            before.append(list.at(i));
        else
            after.append(list.at(i));
    }
    return before + block + after;
}

} // namespace marrowick
