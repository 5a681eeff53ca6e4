#pragma once

#include "Marrowick/Style/LazyColumn.h"
#include "MarrowickKit/Model/AnySourceConfig.h"

#include <QList>
#include <QUuid>

#include <functional>

namespace marrowick {

class SourceBlock;

// The sources' blocks, one below the other in the layout's order; only those in or near the
// part of the list being looked at exist, and each source weighs the rows it shows.
class SourceColumn : public LazyColumn {
    Q_OBJECT

public:
    // Brings a block up to date with the state; new widgets go to `shows`, as in SourceBlock.
    using Fill = std::function<void(SourceBlock *block, QList<QWidget *> &shows)>;

    SourceColumn(int fallbackWidth, Fill fill, QWidget *parent = nullptr);
    ~SourceColumn() override;

    // The new order; blocks of sources that stay are kept, the others are deleted.
    void setSources(const QList<AnySourceConfig> &sources);
    const AnySourceConfig &sourceAt(qsizetype index) const { return m_sources.at(index); }
    // Null while the source's block is out of sight.
    SourceBlock *blockAt(qsizetype index) const;
    void setRowCount(qsizetype index, qsizetype rows) { setWeight(index, rows); }
    // Rows of every source, drawn or not.
    qsizetype rowCount() const { return totalWeight(); }

private:
    Fill m_fill;
    QList<AnySourceConfig> m_sources;
};

} // namespace marrowick
