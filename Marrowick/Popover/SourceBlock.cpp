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

RowCard *SourceBlock::cardAt(qsizetype index)
{
    while (m_cards.size() <= index) {
        if (m_cards.isEmpty()) {
            auto *card = new RowCard(this);
            layout()->addWidget(card);
            card->show(); // now, not at the next turn of the event loop: the popup measures it at once
            m_cards.append(card);
            continue;
        }
        if (!m_children) {
            m_children = new GroupChildrenPanel(this);
            layout()->addWidget(m_children);
            m_children->show();
        }
        auto *card = new RowCard(m_children);
        m_children->layout()->addWidget(card);
        card->show();
        m_cards.append(card);
    }
    return m_cards.at(index);
}

bool SourceBlock::setRows(const QList<Row> &rows, const QHash<QString, QList<double>> &latencyHistory,
                          const RowSettings &settings, const RowCard::Toggle &toggle, bool force)
{
    QList<QList<double>> histories;
    histories.reserve(rows.size());
    for (const Row &row : rows)
        histories.append(row.widget() ? latencyHistory.value(row.key()) : QList<double>());
    if (!force && rows == m_rows && histories == m_histories)
        return false;

    for (qsizetype i = 0; i < rows.size(); ++i) {
        if (force || i >= m_rows.size() || !(rows[i] == m_rows[i]) || !(histories[i] == m_histories[i]))
            cardAt(i)->setRow(rows[i], histories[i], settings, toggle);
    }
    while (m_cards.size() > rows.size())
        delete m_cards.takeLast();
    if (m_children && m_cards.size() <= 1) {
        delete m_children;
        m_children = nullptr;
    }
    m_rows = rows;
    m_histories = std::move(histories);
    setVisible(!rows.isEmpty());
    return true;
}

} // namespace marrowick
