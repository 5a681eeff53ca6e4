#pragma once

#include "MarrowickKit/Model/AnySourceConfig.h"

#include <QHash>
#include <QList>
#include <QUuid>
#include <QWidget>

#include <functional>

namespace marrowick {

class SourceBlock;

// The sources' blocks, one below the other in the layout's order. Only the blocks in or near
// the part of the list being looked at exist as widgets; every other source stands in with its
// last measured height, or an estimate from its row count, so that opening and updating the
// list cost the same with ten thousand sources as with a screenful.
class SourceColumn : public QWidget {
    Q_OBJECT

public:
    // Brings a block up to date with the state; new widgets go to `shows`, as in SourceBlock.
    using Fill = std::function<void(SourceBlock *block, QList<QWidget *> &shows)>;

    SourceColumn(int fallbackWidth, Fill fill, QWidget *parent = nullptr);
    ~SourceColumn() override;

    // The new order; blocks of sources that stay are kept, the others are deleted.
    void setSources(const QList<AnySourceConfig> &sources);
    qsizetype size() const { return m_entries.size(); }
    // -1 for a source not in the list.
    qsizetype indexOf(const QUuid &id) const { return m_index.value(id, -1); }
    const AnySourceConfig &sourceAt(qsizetype index) const { return m_entries.at(index).source; }
    // Null while the source's block is out of sight.
    SourceBlock *blockAt(qsizetype index) const { return m_entries.at(index).block; }
    void setRowCount(qsizetype index, qsizetype rows);
    // Rows of every source, drawn or not.
    qsizetype rowCount() const { return m_rowCount; }

    // Creates the missing blocks that reach into [top, bottom) and deletes those far outside it
    // (unless they hold the focus). Returns whether it created any.
    bool realize(int top, int bottom, QList<QWidget *> &shows);
    // Measures the blocks there are and places every one at its position.
    void place();

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    struct Entry {
        AnySourceConfig source;
        qsizetype rows = 0;
        int height = 0;
        bool measured = false;
        SourceBlock *block = nullptr;
    };

    int entryHeight(const Entry &entry) const;
    int contentWidth() const;
    void computeTops();

    int m_fallbackWidth;
    Fill m_fill;
    QList<Entry> m_entries;
    QHash<QUuid, qsizetype> m_index;
    // m_tops[i] is where entry i starts; the last element is the total height.
    QList<int> m_tops;
    qsizetype m_rowCount = 0;
    // Measured so far, for the estimate of sources not yet drawn.
    qint64 m_measuredHeight = 0;
    qint64 m_measuredRows = 0;
    int m_placedWidth = -1;
    // The height last announced to the list's layout.
    int m_hintedHeight = 0;
};

} // namespace marrowick
