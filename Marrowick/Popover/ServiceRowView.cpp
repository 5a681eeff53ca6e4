#include "Marrowick/Popover/ServiceRowView.h"

#include "Marrowick/Popover/RowParts.h"
#include "Marrowick/Popover/RowTrailing.h"
#include "Marrowick/Style/StatusOrb.h"

#include <QHBoxLayout>
#include <QLabel>

namespace marrowick {

ServiceRowView::ServiceRowView(const ServiceRow &row, const QList<double> &history, const RowSettings &settings,
                               QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("serviceRow"));
    auto *layout = new QHBoxLayout(this);
    layout->setSpacing(10);
    m_orb = new StatusOrb(row.status, 8, this);
    layout->addWidget(m_orb);
    const NameBlock block = addNameBlock(layout, 2, this);
    m_name = block.name;
    m_detail = block.detail;
    addNameSpacer(layout);
    m_trailing = new RowTrailing(row.status, QStringLiteral("Unreachable"), row.latencyMs, history, settings, this);
    addTrailing(layout, m_trailing);
    set(row, history, settings);
}

void ServiceRowView::set(const ServiceRow &row, const QList<double> &history, const RowSettings &settings)
{
    applyRowChrome(layout(), settings);
    m_orb->setStatus(row.status);
    setLine(m_name, row.name);
    setOptionalLine(m_detail, row.detail);
    m_trailing->set(row.status, QStringLiteral("Unreachable"), row.latencyMs, history, settings);
}

} // namespace marrowick
