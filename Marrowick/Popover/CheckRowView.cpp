#include "Marrowick/Popover/CheckRowView.h"

#include "Marrowick/Popover/RowParts.h"
#include "Marrowick/Popover/RowTrailing.h"
#include "Marrowick/Style/StatusOrb.h"

#include <QHBoxLayout>
#include <QLabel>

namespace marrowick {

namespace {

// The reason, when there is one, is the detail line under the name already: the red text
// only says that the check is down.
const QString downText = QStringLiteral("Down");

} // namespace

CheckRowView::CheckRowView(const CheckResult &check, const QList<double> &history, const RowSettings &settings,
                           QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("checkRow"));
    auto *layout = new QHBoxLayout(this);
    layout->setSpacing(10);
    m_orb = new StatusOrb(check.status, 8, this);
    layout->addWidget(m_orb);
    const NameBlock block = addNameBlock(layout, 2, this);
    m_name = block.name;
    m_detail = block.detail;
    addNameSpacer(layout);
    m_trailing = new RowTrailing(check.status, downText, check.latencyMs, history, settings, this);
    addTrailing(layout, m_trailing);
    set(check, history, settings);
}

void CheckRowView::set(const CheckResult &check, const QList<double> &history, const RowSettings &settings)
{
    applyRowChrome(layout(), settings);
    m_orb->setStatus(check.status);
    setLine(m_name, check.name);
    setOptionalLine(m_detail, check.detail);
    m_trailing->set(check.status, downText, check.latencyMs, history, settings);
}

} // namespace marrowick
