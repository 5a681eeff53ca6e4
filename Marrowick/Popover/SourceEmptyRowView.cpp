#include "Marrowick/Popover/SourceEmptyRowView.h"

#include "Marrowick/Popover/PopoverText.h"
#include "Marrowick/Popover/RowParts.h"
#include "Marrowick/Style/StatusOrb.h"

#include <QHBoxLayout>
#include <QLabel>

namespace marrowick {

SourceEmptyRowView::SourceEmptyRowView(const QString &displayName, const RowSettings &settings, QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("sourceEmptyRow"));
    auto *layout = new QHBoxLayout(this);
    layout->setSpacing(10);
    layout->addWidget(new StatusOrb(ServiceStatus::unknown, 8, this));
    auto *block = new QVBoxLayout;
    block->setSpacing(1);
    m_name = new LimitedLabel(QString(), textFont(font(), TextStyle::callout, QFont::DemiBold), 1, this);
    m_name->setObjectName(QStringLiteral("name"));
    QLabel *notice = plainLabel(QStringLiteral("No data reported"), textFont(font(), TextStyle::caption2), this);
    notice->setObjectName(QStringLiteral("detail"));
    notice->setWordWrap(true);
    setLabelColor(notice, secondaryColor(palette()));
    block->addWidget(m_name);
    block->addWidget(notice);
    layout->addLayout(block, 1);
    set(displayName, settings);
}

void SourceEmptyRowView::set(const QString &displayName, const RowSettings &settings)
{
    applyRowChrome(layout(), settings);
    setLine(m_name, displayName);
}

} // namespace marrowick
