#include "Marrowick/Popover/SourceGroupHeaderRowView.h"

#include "Marrowick/Popover/CountBadge.h"
#include "Marrowick/Popover/LatencyPill.h"
#include "Marrowick/Style/Symbol.h"
#include "Marrowick/Popover/PopoverText.h"
#include "Marrowick/Popover/RowCard.h"
#include "Marrowick/Popover/RowParts.h"
#include "Marrowick/Style/AccessibleRoles.h"
#include "Marrowick/Style/MarrowickStyle.h"
#include "Marrowick/Style/StatusOrb.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QPainter>

namespace marrowick {

SourceGroupHeaderRowView::SourceGroupHeaderRowView(const Values &values, std::function<void()> toggle,
                                                   const RowSettings &settings, QWidget *parent)
    : QAbstractButton(parent)
{
    setObjectName(QStringLiteral("groupHeaderRow"));
    setAccessibleKind(this, AccessibleKind::disclosure);
    setCursor(Qt::PointingHandCursor);
    connect(this, &QAbstractButton::clicked, this, [toggle = std::move(toggle)] {
        if (toggle)
            toggle();
    });

    auto *layout = new QHBoxLayout(this);
    layout->setSpacing(8);
    m_orb = new StatusOrb(values.status, 8, this);
    layout->addWidget(m_orb);

    auto *block = new QVBoxLayout;
    block->setSpacing(2);
    auto *title = new QHBoxLayout;
    title->setSpacing(6);
    m_name = new LimitedLabel(QString(), textFont(font(), TextStyle::callout, QFont::DemiBold), 1, this);
    m_name->setObjectName(QStringLiteral("name"));
    m_badge = new CountBadge(values.count, this);
    title->addWidget(m_name, 0);
    title->addWidget(m_badge);
    title->addStretch(1);
    m_aggregate = new LimitedLabel(QString(), textFont(font(), TextStyle::caption2), 1, this);
    m_aggregate->setObjectName(QStringLiteral("aggregate"));
    setLabelColor(m_aggregate, secondaryColor(palette()));
    block->addLayout(title);
    block->addWidget(m_aggregate);
    layout->addLayout(block, 1);
    layout->addSpacing(8);

    m_pill = new LatencyPill(QStringLiteral("avg"), std::nullopt, this);
    layout->addWidget(m_pill);
    m_chevron = new SymbolView(Symbol::chevronDown, 10, this);
    m_chevron->setObjectName(QStringLiteral("chevron"));
    m_chevron->setColor(secondaryColor(palette()));
    layout->addWidget(m_chevron);

    // Clicks anywhere on the row reach the button.
    for (QWidget *child : findChildren<QWidget *>())
        child->setAttribute(Qt::WA_TransparentForMouseEvents);
    set(values, settings);
}

void SourceGroupHeaderRowView::set(const Values &values, const RowSettings &settings)
{
    applyRowChrome(layout(), settings);
    m_orb->setStatus(values.status);
    setLine(m_name, values.displayName);
    m_badge->setCount(values.count);
    setLine(m_aggregate, values.aggregate);
    m_pill->setLatency(values.avgLatencyMs);
    m_pill->setVisible(values.avgLatencyMs.has_value());
    m_chevron->setSymbol(values.collapsed ? Symbol::chevronRight : Symbol::chevronDown);
    setAccessibleNameIfChanged(this, accessibilityLabel(values));
    setAccessibleExpanded(this, !values.collapsed);
}

QString SourceGroupHeaderRowView::accessibilityLabel(const Values &values)
{
    // One multi-argument arg(): a "%1" inside a source's name is never substituted.
    QString label =
        QStringLiteral("%1, %2 widgets, %3").arg(values.displayName, QLocale().toString(values.count), values.aggregate);
    if (values.avgLatencyMs)
        label += QStringLiteral(", ") + latencyText(QStringLiteral("average"), values.avgLatencyMs);
    return label;
}

bool SourceGroupHeaderRowView::event(QEvent *event)
{
    // The whole row is the button, so a cut name shows on the row's own tooltip.
    if (event->type() == QEvent::ToolTip)
        setToolTip(m_name->isCut() ? plainToolTip(m_name->text()) : QString());
    return QAbstractButton::event(event);
}

void SourceGroupHeaderRowView::paintEvent(QPaintEvent *)
{
    // The card behind it is the whole look; the children draw the content. The focus shows on
    // the card's outline, between the card's fill and the list around it.
    const QWidget *card = parentWidget();
    if (!hasFocus() || !card || !card->parentWidget())
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(marrowickFocusRing(card->parentWidget(), cardFill(palette())), 2));
    painter.drawRoundedRect(QRectF(rect()).adjusted(1, 1, -1, -1), RowCard::cornerRadius - 1, RowCard::cornerRadius - 1);
}

} // namespace marrowick
