#include "Marrowick/Popover/SourceColumn.h"

#include "Marrowick/Popover/SourceBlock.h"

namespace marrowick {

namespace {

constexpr int blockSpacing = 8;
// A one-row card, until the first blocks have been measured.
constexpr int defaultRowHeight = 52;

} // namespace

SourceColumn::SourceColumn(int fallbackWidth, Fill fill, QWidget *parent)
    : LazyColumn(fallbackWidth, defaultRowHeight, blockSpacing,
                 [this](qsizetype index, QList<QWidget *> &shows) {
                     auto *block = new SourceBlock(m_sources.at(index), this);
                     m_fill(block, shows);
                     return block;
                 },
                 parent),
      m_fill(std::move(fill))
{
}

SourceColumn::~SourceColumn() = default;

void SourceColumn::setSources(const QList<AnySourceConfig> &sources)
{
    QList<QUuid> ids;
    ids.reserve(sources.size());
    for (const AnySourceConfig &source : sources)
        ids.append(source.id());
    // A new source shows no rows until it is counted.
    setOrder(ids, 0);
    m_sources = sources;
    for (qsizetype i = 0; i < m_sources.size(); ++i) {
        if (SourceBlock *block = blockAt(i))
            block->setSource(m_sources.at(i));
    }
}

SourceBlock *SourceColumn::blockAt(qsizetype index) const
{
    return static_cast<SourceBlock *>(widgetAt(index));
}

} // namespace marrowick
