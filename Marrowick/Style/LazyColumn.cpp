#include "Marrowick/Style/LazyColumn.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QLayout>
#include <QPointer>
#include <QScrollBar>

#include <algorithm>

namespace marrowick {

namespace {

// Passes of fill(): each may find the measured widgets shorter than estimated.
constexpr int fillPasses = 4;
constexpr qsizetype showBatch = 8;

QScrollBar *enclosingScrollBar(const QWidget *widget)
{
    for (QWidget *ancestor = widget->parentWidget(); ancestor; ancestor = ancestor->parentWidget()) {
        if (auto *area = qobject_cast<QAbstractScrollArea *>(ancestor))
            return area->verticalScrollBar();
    }
    return nullptr;
}

// Qt brings a widget's size hint up to date through layout requests, which reach only visible
// widgets: in a hidden window a child whose content changed (a line came or went, padding
// changed) leaves the hints its ancestors keep of it as they were. Measured there, a widget
// has its layouts activated from the innermost out, each handing its new hint to its parent.
// Layouts already up to date return at once.
void activateLayoutsWithin(QWidget *widget)
{
    const QList<QWidget *> inner = widget->findChildren<QWidget *>();
    for (auto it = inner.crbegin(); it != inner.crend(); ++it) {
        if (QLayout *layout = (*it)->layout())
            layout->activate();
    }
    if (QLayout *layout = widget->layout())
        layout->activate();
}

} // namespace

LazyColumn::LazyColumn(int fallbackWidth, int unitHeight, int spacing, Make make, QWidget *parent)
    : QWidget(parent), m_fallbackWidth(fallbackWidth), m_unitHeight(unitHeight), m_spacing(spacing),
      m_make(std::move(make))
{
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    m_tops = {0};
}

LazyColumn::~LazyColumn() = default;

void LazyColumn::setOrder(const QList<QUuid> &ids, qsizetype weight)
{
    QList<Entry> previous = std::move(m_entries);
    const QHash<QUuid, qsizetype> previousIndex = std::move(m_index);
    QList<bool> kept(previous.size(), false);
    m_entries.clear();
    m_entries.reserve(ids.size());
    m_index.clear();
    m_index.reserve(ids.size());
    for (const QUuid &id : ids) {
        const qsizetype at = previousIndex.value(id, -1);
        if (at >= 0 && !kept.at(at)) {
            kept[at] = true;
            m_entries.append(std::move(previous[at]));
        } else {
            m_entries.append(Entry{id, weight});
            m_totalWeight += weight;
        }
        m_index.insert(id, m_entries.size() - 1);
    }
    for (qsizetype i = 0; i < previous.size(); ++i) {
        if (kept.at(i))
            continue;
        m_totalWeight -= previous.at(i).weight;
        forget(previous.at(i));
    }
    m_live.clear();
    for (qsizetype i = 0; i < m_entries.size(); ++i) {
        if (m_entries.at(i).widget)
            m_live.append(i);
    }
    computeTops();
}

QList<QWidget *> LazyColumn::widgets() const
{
    QList<QWidget *> made;
    for (const Entry &entry : m_entries) {
        if (entry.widget)
            made.append(entry.widget);
    }
    return made;
}

QList<QWidget *> LazyColumn::tabStops() const
{
    QList<QWidget *> stops;
    for (const qsizetype i : m_live) {
        for (QWidget *child : m_entries.at(i).widget->findChildren<QWidget *>()) {
            if (child->focusPolicy() & Qt::TabFocus)
                stops.append(child);
        }
    }
    return stops;
}

void LazyColumn::setWeight(qsizetype index, qsizetype weight)
{
    Entry &entry = m_entries[index];
    m_totalWeight += weight - entry.weight;
    if (weight == entry.weight)
        return;
    // Out of reach, an entry whose weight changed is estimated again; a made one is measured.
    if (!entry.widget)
        entry.measured = false;
    entry.weight = weight;
    m_topsStale = true;
}

void LazyColumn::forget(const Entry &entry)
{
    if (entry.widget && m_made.value(entry.id) == entry.widget)
        m_made.remove(entry.id);
    delete entry.widget;
}

int LazyColumn::heightOf(const Entry &entry) const
{
    if (entry.weight == 0)
        return 0;
    if (entry.measured)
        return entry.height;
    const qint64 perUnit = m_measuredWeight > 0 ? m_measuredHeight / m_measuredWeight : m_unitHeight;
    return static_cast<int>(perUnit * entry.weight);
}

int LazyColumn::contentWidth() const
{
    // Before the parent has laid the column out, its width is the one it will get.
    return testAttribute(Qt::WA_Resized) ? width() : m_fallbackWidth;
}

void LazyColumn::computeTops()
{
    m_tops.resize(m_entries.size() + 1);
    int top = 0;
    for (qsizetype i = 0; i < m_entries.size(); ++i) {
        m_tops[i] = top;
        const int height = heightOf(m_entries.at(i));
        if (height > 0)
            top += height + m_spacing;
    }
    m_tops.back() = std::max(0, top - m_spacing);
    m_topsStale = false;
}

qsizetype LazyColumn::insertionIndex(int y) const
{
    // The middles rise with the index, so the first one below `y` is found by halving.
    qsizetype low = 0;
    qsizetype high = m_entries.size();
    while (low < high) {
        const qsizetype middle = (low + high) / 2;
        if (y < m_tops.at(middle) + heightOf(m_entries.at(middle)) / 2)
            high = middle;
        else
            low = middle + 1;
    }
    return low;
}

bool LazyColumn::fill(int top, int bottom)
{
    if (m_filling)
        return false;
    m_filling = true;
    bool madeAny = false;
    for (int pass = 0; pass < fillPasses; ++pass) {
        QList<QWidget *> shows;
        const bool made = realize(top, bottom, shows);
        showTogether(shows);
        place();
        madeAny = madeAny || made;
        if (!made)
            break;
    }
    m_filling = false;
    return madeAny;
}

bool LazyColumn::realize(int top, int bottom, QList<QWidget *> &shows)
{
    if (m_topsStale)
        computeTops();
    // The first entry that ends below `top`, then every one that starts above `bottom`.
    const auto first = std::upper_bound(m_tops.cbegin(), m_tops.cend() - 1, top);
    qsizetype index = std::max<qsizetype>(0, (first - m_tops.cbegin()) - 1);
    bool made = false;
    for (; index < m_entries.size() && m_tops.at(index) < bottom; ++index) {
        if (m_entries.at(index).widget || m_entries.at(index).weight == 0)
            continue;
        QWidget *widget = m_make(index, shows);
        Q_ASSERT(widget->parentWidget() == this);
        m_entries[index].widget = widget;
        if (!m_made.contains(m_entries.at(index).id))
            m_made.insert(m_entries.at(index).id, widget);
        m_entries[index].measured = false;
        m_live.insert(std::lower_bound(m_live.begin(), m_live.end(), index), index);
        made = true;
    }

    // Far away widgets go, so scrolling through a long list keeps only a few screens of them.
    const qint64 reach = qint64(bottom) - top;
    const QWidget *focus = QApplication::focusWidget();
    m_live.removeIf([&](qsizetype i) {
        Entry &entry = m_entries[i];
        if (m_tops.at(i) + heightOf(entry) >= top - reach && m_tops.at(i) < bottom + reach)
            return false;
        if (focus && entry.widget->isAncestorOf(focus))
            return false;
        shows.removeIf([&entry](const QWidget *widget) {
            return widget == entry.widget || entry.widget->isAncestorOf(widget);
        });
        forget(entry);
        entry.widget = nullptr;
        return true;
    });
    return made;
}

int LazyColumn::measure(QWidget *widget, int width)
{
    if (widget->isHidden())
        return 0;
    if (!widget->isVisible())
        activateLayoutsWithin(widget);
    const int height = widget->hasHeightForWidth() ? widget->heightForWidth(width) : -1;
    return height < 0 ? widget->sizeHint().height() : height;
}

bool LazyColumn::place()
{
    const int width = contentWidth();
    bool changed = false;
    for (const qsizetype i : std::as_const(m_live)) {
        Entry &entry = m_entries[i];
        const int height = measure(entry.widget, width);
        if (!entry.measured && height > 0) {
            m_measuredHeight += height;
            m_measuredWeight += entry.weight;
        }
        changed = changed || !entry.measured || height != entry.height;
        entry.height = height;
        entry.measured = true;
    }
    // A new measure also changes the estimate of every entry not yet drawn.
    if (changed || m_topsStale)
        computeTops();
    for (const qsizetype i : std::as_const(m_live)) {
        const Entry &entry = m_entries.at(i);
        if (!entry.widget->isHidden())
            entry.widget->setGeometry(0, m_tops.at(i), width, entry.height);
    }
    m_placedWidth = width;
    restack();
    if (m_hintedHeight != m_tops.back()) {
        m_hintedHeight = m_tops.back();
        updateGeometry();
        // Until the parent's layout runs, so that the new widgets are inside the column.
        if (testAttribute(Qt::WA_Resized))
            resize(QWidget::width(), m_hintedHeight);
    }
    return changed;
}

void LazyColumn::restack()
{
    // From the first widget out of place on, each goes to the end in turn. Widgets made below
    // the others, as when the list grows downwards, are already in place.
    const QObjectList &children = this->children();
    auto child = children.cbegin();
    qsizetype i = 0;
    for (; i < m_live.size(); ++i) {
        while (child != children.cend() && !(*child)->isWidgetType())
            ++child;
        if (child == children.cend() || *child != m_entries.at(m_live.at(i)).widget)
            break;
        ++child;
    }
    for (; i < m_live.size(); ++i)
        m_entries.at(m_live.at(i)).widget->raise();
}

void LazyColumn::showTogether(const QList<QWidget *> &widgets)
{
    const bool hideColumn = widgets.size() >= showBatch && isVisible();
    QScrollBar *bar = enclosingScrollBar(this);
    const int position = bar ? bar->value() : 0;
    QPointer<QWidget> focus = QApplication::focusWidget();
    if (focus && !isAncestorOf(focus))
        focus = nullptr;
    if (hideColumn)
        hide();
    for (QWidget *widget : widgets)
        widget->show();
    if (hideColumn) {
        show();
        if (bar)
            bar->setValue(position);
        if (focus)
            focus->setFocus();
    }
}

QSize LazyColumn::sizeHint() const
{
    // As wide as the parent leaves, which is narrower when a scroll bar shows.
    return QSize(0, m_hintedHeight);
}

bool LazyColumn::event(QEvent *event)
{
    // Posted by a made widget whose size hint changed, and only while the column is visible.
    if (event->type() == QEvent::LayoutRequest && !m_filling && place())
        emit heightsChanged();
    return QWidget::event(event);
}

void LazyColumn::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    if (width() != m_placedWidth)
        place();
}

} // namespace marrowick
