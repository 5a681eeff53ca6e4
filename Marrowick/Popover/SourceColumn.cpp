#include "Marrowick/Popover/SourceColumn.h"

#include "Marrowick/Popover/SourceBlock.h"

#include <QApplication>

#include <algorithm>

namespace marrowick {

namespace {

constexpr int blockSpacing = 8;
// A one-row card, until the first blocks have been measured.
constexpr int defaultRowHeight = 52;

} // namespace

SourceColumn::SourceColumn(int fallbackWidth, Fill fill, QWidget *parent)
    : QWidget(parent), m_fallbackWidth(fallbackWidth), m_fill(std::move(fill))
{
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    m_tops = {0};
}

SourceColumn::~SourceColumn() = default;

void SourceColumn::setSources(const QList<AnySourceConfig> &sources)
{
    QList<Entry> previous = std::move(m_entries);
    const QHash<QUuid, qsizetype> previousIndex = std::move(m_index);
    QList<bool> kept(previous.size(), false);
    m_entries.clear();
    m_entries.reserve(sources.size());
    m_index.clear();
    m_index.reserve(sources.size());
    for (const AnySourceConfig &source : sources) {
        const qsizetype at = previousIndex.value(source.id(), -1);
        if (at >= 0 && !kept.at(at)) {
            kept[at] = true;
            Entry entry = std::move(previous[at]);
            entry.source = source;
            if (entry.block)
                entry.block->setSource(source);
            m_entries.append(std::move(entry));
        } else {
            m_entries.append(Entry{source});
        }
        m_index.insert(source.id(), m_entries.size() - 1);
    }
    for (qsizetype i = 0; i < previous.size(); ++i) {
        if (kept.at(i))
            continue;
        m_rowCount -= previous.at(i).rows;
        delete previous.at(i).block;
    }
}

void SourceColumn::setRowCount(qsizetype index, qsizetype rows)
{
    Entry &entry = m_entries[index];
    m_rowCount += rows - entry.rows;
    // Out of sight, a block whose rows changed is estimated again; a drawn one is measured.
    if (rows != entry.rows && !entry.block)
        entry.measured = false;
    entry.rows = rows;
}

int SourceColumn::entryHeight(const Entry &entry) const
{
    if (entry.rows == 0)
        return 0;
    if (entry.measured)
        return entry.height;
    const qint64 perRow = m_measuredRows > 0 ? m_measuredHeight / m_measuredRows : defaultRowHeight;
    return static_cast<int>(perRow * entry.rows);
}

int SourceColumn::contentWidth() const
{
    // Before the list has laid the column out, its width is the one it will get.
    return testAttribute(Qt::WA_Resized) ? width() : m_fallbackWidth;
}

void SourceColumn::computeTops()
{
    m_tops.resize(m_entries.size() + 1);
    int top = 0;
    for (qsizetype i = 0; i < m_entries.size(); ++i) {
        m_tops[i] = top;
        const int height = entryHeight(m_entries.at(i));
        if (height > 0)
            top += height + blockSpacing;
    }
    m_tops.back() = std::max(0, top - blockSpacing);
}

bool SourceColumn::realize(int top, int bottom, QList<QWidget *> &shows)
{
    computeTops();
    // The first entry that ends below `top`, then every one that starts above `bottom`.
    const auto first = std::upper_bound(m_tops.cbegin(), m_tops.cend() - 1, top);
    qsizetype index = std::max<qsizetype>(0, (first - m_tops.cbegin()) - 1);
    bool created = false;
    for (; index < m_entries.size() && m_tops.at(index) < bottom; ++index) {
        Entry &entry = m_entries[index];
        if (entry.block || entry.rows == 0)
            continue;
        entry.block = new SourceBlock(entry.source, this);
        m_fill(entry.block, shows);
        entry.measured = false;
        created = true;
    }

    // Far away blocks go, so scrolling through a long list keeps only a few screens of widgets.
    const qint64 reach = qint64(bottom) - top;
    const QWidget *focus = QApplication::focusWidget();
    for (qsizetype i = 0; i < m_entries.size(); ++i) {
        Entry &entry = m_entries[i];
        if (!entry.block || (m_tops.at(i) + entryHeight(entry) >= top - reach && m_tops.at(i) < bottom + reach))
            continue;
        if (focus && entry.block->isAncestorOf(focus))
            continue;
        shows.removeIf([&entry](const QWidget *widget) { return widget == entry.block || entry.block->isAncestorOf(widget); });
        delete entry.block;
        entry.block = nullptr;
    }
    return created;
}

void SourceColumn::place()
{
    const int width = contentWidth();
    for (Entry &entry : m_entries) {
        if (!entry.block)
            continue;
        SourceBlock *block = entry.block;
        int height = 0;
        if (!block->isHidden()) {
            height = block->hasHeightForWidth() ? block->heightForWidth(width) : -1;
            if (height < 0)
                height = block->sizeHint().height();
        }
        if (!entry.measured && height > 0) {
            m_measuredHeight += height;
            m_measuredRows += entry.rows;
        }
        entry.height = height;
        entry.measured = true;
    }
    computeTops();
    for (qsizetype i = 0; i < m_entries.size(); ++i) {
        const Entry &entry = m_entries.at(i);
        if (entry.block && !entry.block->isHidden())
            entry.block->setGeometry(0, m_tops.at(i), width, entry.height);
    }
    m_placedWidth = width;
    if (m_hintedHeight != m_tops.back()) {
        m_hintedHeight = m_tops.back();
        updateGeometry();
    }
}

QSize SourceColumn::sizeHint() const
{
    // As wide as the list leaves, which is narrower when the scroll bar shows.
    return QSize(0, m_hintedHeight);
}

void SourceColumn::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    if (width() != m_placedWidth)
        place();
}

} // namespace marrowick
