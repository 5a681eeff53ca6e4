#include "Marrowick/Popover/RowTrailing.h"

#include "Marrowick/Popover/LatencyPill.h"
#include "Marrowick/Popover/PopoverText.h"
#include "Marrowick/Popover/Sparkline.h"
#include "Marrowick/Popover/StatusOrb.h"

#include <QHBoxLayout>
#include <QLabel>

namespace marrowick {

RowTrailing::RowTrailing(ServiceStatus status, const QString &downText, std::optional<double> latencyMs,
                         const QList<double> &history, const RowSettings &settings, QWidget *parent)
    : QWidget(parent)
{
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(8);
    m_downText = new LimitedLabel(QString(), textFont(font(), TextStyle::caption, QFont::DemiBold), 1, this);
    // A long reason from a peer is cut rather than pushing the name out of the row.
    m_downText->setMaximumWidth(120);
    m_downText->setObjectName(QStringLiteral("downText"));
    setLabelColor(m_downText, statusColor(ServiceStatus::down));
    m_sparkline = new Sparkline({}, this);
    m_sparkline->setFixedSize(44, 16);
    m_pill = new LatencyPill(std::nullopt, std::nullopt, this);
    layout->addWidget(m_downText);
    layout->addWidget(m_sparkline);
    layout->addWidget(m_pill);
    set(status, downText, latencyMs, history, settings);
}

void RowTrailing::set(ServiceStatus status, const QString &downText, std::optional<double> latencyMs,
                      const QList<double> &history, const RowSettings &settings)
{
    const bool down = status == ServiceStatus::down;
    if (m_downText->text() != downText)
        m_downText->setText(downText);
    m_downText->setVisible(down);
    const bool sparkline = settings.showSparklines && history.size() >= 2 && !down;
    if (sparkline)
        m_sparkline->setValues(history);
    m_sparkline->setVisible(sparkline);
    m_pill->setLatency(latencyMs);
}

} // namespace marrowick
