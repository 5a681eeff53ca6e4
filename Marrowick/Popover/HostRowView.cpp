#include "Marrowick/Popover/HostRowView.h"

#include "Marrowick/Popover/MetricRing.h"
#include "Marrowick/Style/Symbol.h"
#include "Marrowick/Popover/PopoverText.h"
#include "Marrowick/Popover/RowParts.h"
#include "Marrowick/Style/StatusOrb.h"
#include "Marrowick/Style/StatusText.h"

#include <QHBoxLayout>
#include <QLabel>

namespace marrowick {

namespace {

// No drive runs at a million degrees; the bound keeps the conversion defined.
constexpr double temperatureLimit = 1e6;

} // namespace

std::optional<QString> HostRowView::temperatureText(const QList<DriveTemp> &temps)
{
    if (temps.isEmpty())
        return std::nullopt;
    const DriveTemp *hottest = &temps.front();
    for (const DriveTemp &drive : temps) {
        if (drive.tempC > hottest->tempC)
            hottest = &drive;
    }
    return QString::number(truncatedForDisplay(hottest->tempC, temperatureLimit)) + QStringLiteral("\u00B0C");
}

HostRowView::HostRowView(const HostStats &host, const RowSettings &settings, QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("hostRow"));
    auto *layout = new QHBoxLayout(this);
    layout->setSpacing(10);
    m_orb = new StatusOrb(host.status, 8, this);
    layout->addWidget(m_orb);
    m_name = plainLabel(QString(), textFont(font(), TextStyle::callout, QFont::DemiBold), this);
    m_name->setObjectName(QStringLiteral("name"));
    m_name->setWordWrap(true);
    layout->addWidget(m_name, 1);
    m_state = plainLabel(QString(), textFont(font(), TextStyle::caption, QFont::DemiBold), this);
    m_state->setObjectName(QStringLiteral("state"));
    layout->addWidget(m_state);
    m_cpu = new MetricRing(QStringLiteral("CPU"), std::nullopt, this);
    m_mem = new MetricRing(QStringLiteral("MEM"), std::nullopt, this);
    m_disk = new MetricRing(QStringLiteral("DISK"), std::nullopt, this);
    for (MetricRing *ring : {m_cpu, m_mem, m_disk})
        layout->addWidget(ring);

    auto *temperature = new QHBoxLayout;
    temperature->setSpacing(3);
    m_thermometer = new SymbolView(Symbol::thermometer, 10, this);
    m_thermometer->setColor(secondaryColor(palette()));
    m_temperature = plainLabel(QString(), textFont(font(), TextStyle::caption2), this);
    m_temperature->setObjectName(QStringLiteral("temperature"));
    setLabelColor(m_temperature, secondaryColor(palette()));
    temperature->addWidget(m_thermometer);
    temperature->addWidget(m_temperature);
    layout->addLayout(temperature);
    set(host, settings);
}

void HostRowView::set(const HostStats &host, const RowSettings &settings)
{
    applyRowChrome(layout(), settings);
    m_orb->setStatus(host.status);
    setLine(m_name, host.name);
    showStatusWord(m_state, host.status);
    m_cpu->setPct(host.cpuPct);
    m_mem->setPct(host.memPct);
    m_disk->setPct(host.diskPct);
    const std::optional<QString> temperature = temperatureText(host.temps);
    setOptionalLine(m_temperature, temperature);
    m_thermometer->setVisible(temperature.has_value());
}

} // namespace marrowick
