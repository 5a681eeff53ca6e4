#pragma once

#include "Marrowick/Popover/PopoverRows.h"
#include "Marrowick/Popover/RowCard.h"

#include <QHash>
#include <QList>
#include <QWidget>

namespace marrowick {

class GroupChildrenPanel;

// Everything the popup shows of one source: nothing, one standalone card, or a group of a
// header card and its children. Only rows whose value or latency series changed are touched.
class SourceBlock : public QWidget {
    Q_OBJECT

public:
    SourceBlock(const AnySourceConfig &source, QWidget *parent = nullptr);

    const AnySourceConfig &source() const { return m_source; }
    void setSource(const AnySourceConfig &source) { m_source = source; }
    const QList<PopoverRows::Row> &rows() const { return m_rows; }

    // Returns whether anything changed. Widgets that have to appear (new cards, new views, the
    // block itself) are added to `shows` rather than shown: showing a widget lays out all of its
    // visible ancestors at once, so the popup shows them together.
    bool setRows(const QList<PopoverRows::Row> &rows, const QHash<QString, QList<double>> &latencyHistory,
                 const RowSettings &settings, const RowCard::Toggle &toggle, QList<QWidget *> &shows,
                 bool force = false);

private:
    RowCard *cardAt(qsizetype index, QList<QWidget *> &shows);

    AnySourceConfig m_source;
    QList<PopoverRows::Row> m_rows;
    QList<QList<double>> m_histories;
    QList<RowCard *> m_cards; // the standalone or header card first, then the children
    GroupChildrenPanel *m_children = nullptr;
};

} // namespace marrowick
