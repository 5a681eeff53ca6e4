#include "Marrowick/Popover/SourceBlock.h"

#include <QVBoxLayout>

namespace marrowick {

using namespace PopoverRows;

SourceBlock::SourceBlock(const AnySourceConfig &source, QWidget *parent) : QWidget(parent), m_source(source)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(8);
    hide(); // until it has a row
}

RowCard *SourceBlock::cardAt(qsizetype index, QList<QWidget *> &shows)
{
    while (m_cards.size() <= index) {
        if (m_cards.isEmpty()) {
            auto *card = new RowCard(this);
            layout()->addWidget(card);
            shows.append(card);
            m_cards.append(card);
            continue;
        }
        if (!m_children) {
            m_children = new GroupChildrenPanel(this);
            layout()->addWidget(m_children);
            shows.append(m_children);
        }
        auto *card = new RowCard(m_children);
        m_children->layout()->addWidget(card);
        shows.append(card);
        m_cards.append(card);
    }
    return m_cards.at(index);
}

bool SourceBlock::setRows(const QList<Row> &rows, const QHash<QString, QList<double>> &latencyHistory,
                          const RowSettings &settings, const RowCard::Toggle &toggle, QList<QWidget *> &shows,
                          bool force)
{
    QList<QList<double>> histories;
    histories.reserve(rows.size());
    for (const Row &row : rows)
        histories.append(row.widget() ? latencyHistory.value(row.key()) : QList<double>());
    if (!force && rows == m_rows && histories == m_histories)
        return false;

    for (qsizetype i = 0; i < rows.size(); ++i) {
        if (force || i >= m_rows.size() || !(rows[i] == m_rows[i]) || !(histories[i] == m_histories[i]))
            cardAt(i, shows)->setRow(rows[i], histories[i], settings, toggle, shows);
    }
    while (m_cards.size() > rows.size())
        delete m_cards.takeLast();
    if (m_children && m_cards.size() <= 1) {
        delete m_children;
        m_children = nullptr;
    }
    m_rows = rows;
    m_histories = std::move(histories);
    if (rows.isEmpty())
        hide();
    else if (isHidden())
        shows.append(this);
    updateGeometry();
    return true;
}

} // namespace marrowick
