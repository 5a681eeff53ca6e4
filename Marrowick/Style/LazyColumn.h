#pragma once

#include <QHash>
#include <QList>
#include <QUuid>
#include <QWidget>

#include <functional>

namespace marrowick {

// Widgets one below the other, one per id of a list, of which only those in or near the part
// being looked at exist. Every other entry stands in with its last measured height, or an
// estimate from its weight (the rows it holds; a weight of 0 takes no room), so that opening
// and updating a list cost the same with ten thousand entries as with a screenful.
class LazyColumn : public QWidget {
    Q_OBJECT

public:
    // Makes the widget of the entry at `index`, as a child of the column. Widgets that have to
    // appear go to `shows` rather than being shown: see showTogether().
    using Make = std::function<QWidget *(qsizetype index, QList<QWidget *> &shows)>;

    // `unitHeight`: the height of one unit of weight until entries have been measured.
    LazyColumn(int fallbackWidth, int unitHeight, int spacing, Make make, QWidget *parent = nullptr);
    ~LazyColumn() override;

    // The new order; widgets of ids that stay are kept with their weight, the others are
    // deleted. New entries weigh `weight`. Of an id listed twice, the second is an entry of its own.
    void setOrder(const QList<QUuid> &ids, qsizetype weight);
    qsizetype size() const { return m_entries.size(); }
    // -1 for an id not in the list.
    qsizetype indexOf(const QUuid &id) const { return m_index.value(id, -1); }
    const QUuid &idAt(qsizetype index) const { return m_entries.at(index).id; }
    // Null while the entry is out of reach.
    QWidget *widgetAt(qsizetype index) const { return m_entries.at(index).widget; }
    // The same by id, from the few widgets there are.
    QWidget *widgetOf(const QUuid &id) const { return m_made.value(id); }
    // The widgets there are, in the list's order.
    QList<QWidget *> widgets() const;
    // The controls Tab stops at within the widgets there are, in the list's order. Qt's Tab
    // order is the order of making, and widgets are made as they come into reach, so a window
    // puts these in line itself.
    QList<QWidget *> tabStops() const;
    void setWeight(qsizetype index, qsizetype weight);
    qsizetype totalWeight() const { return m_totalWeight; }

    // Where an entry starts and how tall it is or is thought to be, as of the last placing.
    int entryTop(qsizetype index) const { return m_tops.at(index); }
    int entryHeight(qsizetype index) const { return heightOf(m_entries.at(index)); }
    // The position a drop at `y` lands before: the first entry whose middle lies below it.
    qsizetype insertionIndex(int y) const;

    // Makes the widgets that reach into [top, bottom), shows them, deletes those far outside
    // (unless they hold the focus) and places every one; again while measured widgets turn out
    // shorter than estimated and bring more into reach. Returns whether it made any.
    bool fill(int top, int bottom);
    // Showing a widget lays out every visible ancestor at once, which with many new widgets
    // grows with the square of their number. Many are therefore shown behind the hidden column,
    // which is then laid out once; the scroll position and the focus are kept.
    void showTogether(const QList<QWidget *> &widgets);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

signals:
    // A made widget asked for another height on its own (a line came or went), and the
    // column placed its widgets anew; the list around it may want to measure again.
    void heightsChanged();

protected:
    bool event(QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    struct Entry {
        QUuid id;
        qsizetype weight = 0;
        int height = 0;
        bool measured = false;
        QWidget *widget = nullptr;
    };

    // One step of fill(): makes and deletes, without showing or placing.
    bool realize(int top, int bottom, QList<QWidget *> &shows);
    // Measures the widgets there are and places every one at its position. Returns whether a
    // height changed.
    bool place();
    // Puts the widgets there are in the list's order among the column's children, the order
    // in which assistive technology reads them.
    void restack();
    // The height `widget` asks for at `width`; none while it is hidden.
    static int measure(QWidget *widget, int width);
    // Deletes the entry's widget.
    void forget(const Entry &entry);
    int heightOf(const Entry &entry) const;
    int contentWidth() const;
    void computeTops();

    int m_fallbackWidth;
    int m_unitHeight;
    int m_spacing;
    Make m_make;
    QList<Entry> m_entries;
    // The indices of the entries that have a widget, ascending: measuring and placing walk only
    // these, so their cost follows the widgets there are, not the length of the list.
    QList<qsizetype> m_live;
    QHash<QUuid, qsizetype> m_index;
    // The widgets there are by id; of an id listed twice, the first made.
    QHash<QUuid, QWidget *> m_made;
    // m_tops[i] is where entry i starts; the last element is the total height. Stale once a
    // weight or a measured height changes, until computed again.
    QList<int> m_tops;
    bool m_topsStale = false;
    qsizetype m_totalWeight = 0;
    // Measured so far, for the estimate of entries not yet drawn.
    qint64 m_measuredHeight = 0;
    qint64 m_measuredWeight = 0;
    int m_placedWidth = -1;
    // The height last announced to the parent's layout.
    int m_hintedHeight = 0;
    bool m_filling = false;
};

} // namespace marrowick
