#include "Marrowick/Popover/SourceErrorRowView.h"

#include "Marrowick/Popover/PopoverText.h"
#include "Marrowick/Popover/RowParts.h"
#include "Marrowick/Style/StatusOrb.h"

#include <QHBoxLayout>
#include <QLabel>

namespace marrowick {

SourceErrorRowView::SourceErrorRowView(const QString &displayName, const QString &error, const RowSettings &settings,
                                       QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("sourceErrorRow"));
    auto *layout = new QHBoxLayout(this);
    layout->setSpacing(10);
    layout->addWidget(new StatusOrb(ServiceStatus::down, 8, this));
    auto *block = new QVBoxLayout;
    block->setSpacing(1);
    m_name = new LimitedLabel(QString(), textFont(font(), TextStyle::callout, QFont::DemiBold), 1, this);
    m_name->setObjectName(QStringLiteral("name"));
    m_error = new LimitedLabel(QString(), textFont(font(), TextStyle::caption2), 2, this);
    m_error->setObjectName(QStringLiteral("detail"));
    setLabelColor(m_error, secondaryColor(palette()));
    block->addWidget(m_name);
    block->addWidget(m_error);
    layout->addLayout(block, 1);
    set(displayName, error, settings);
}

void SourceErrorRowView::set(const QString &displayName, const QString &error, const RowSettings &settings)
{
    applyRowChrome(layout(), settings);
    setLine(m_name, displayName);
    if (m_error->text() != error) {
        m_error->setText(error);
        m_error->updateGeometry();
    }
}

} // namespace marrowick
