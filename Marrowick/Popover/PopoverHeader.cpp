#include "Marrowick/Popover/PopoverHeader.h"

#include "Marrowick/State/AppState.h"
#include "Marrowick/Popover/PopoverSummary.h"
#include "Marrowick/Style/Symbol.h"
#include "Marrowick/Popover/PopoverText.h"
#include "Marrowick/Style/RelativeTimeText.h"
#include "Marrowick/Popover/RowParts.h"
#include "Marrowick/Style/StatusOrb.h"
#include "Marrowick/Style/MarrowickStyle.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>

namespace marrowick {

RefreshButton::RefreshButton(QWidget *parent) : QAbstractButton(parent)
{
    setObjectName(QStringLiteral("popover.refresh"));
    setToolTip(QStringLiteral("Refresh now"));
    setAccessibleName(QStringLiteral("Refresh now"));
    setCursor(Qt::PointingHandCursor);
    auto *layout = new QHBoxLayout(this);
    // Room for the focus ring around the age and the arrow.
    layout->setContentsMargins(6, 4, 6, 4);
    layout->setSpacing(6);
    m_age = new RelativeTimeText({}, this);
    m_age->setObjectName(QStringLiteral("popover.age"));
    m_age->setFont(textFont(font(), TextStyle::caption));
    setLabelColor(m_age, secondaryColor(palette()));
    auto *arrow = new SymbolView(Symbol::arrowClockwise, 10, this);
    arrow->setColor(secondaryColor(palette()));
    layout->addWidget(m_age);
    layout->addWidget(arrow);
    m_age->setAttribute(Qt::WA_TransparentForMouseEvents);
}

void RefreshButton::paintEvent(QPaintEvent *)
{
    // Borderless: the children are the whole look, and a ring shows the focus.
    if (!hasFocus())
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(marrowickAccentMark(this), 2));
    painter.drawRoundedRect(QRectF(rect()).adjusted(1, 1, -1, -1), 6, 6);
}

PopoverHeader::PopoverHeader(AppState *state, QWidget *parent) : QWidget(parent), m_state(state)
{
    setObjectName(QStringLiteral("popover.header"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(14, 12, 14, 12);
    layout->setSpacing(8);

    m_brand = plainLabel(QStringLiteral("MARROWICK"), textFont(font(), TextStyle::caption2, QFont::DemiBold), this);
    QFont brandFont = m_brand->font();
    brandFont.setLetterSpacing(QFont::AbsoluteSpacing, 1.5);
    m_brand->setFont(brandFont);
    setLabelColor(m_brand, marrowickAccentOn(this, accentTextContrast));
    layout->addWidget(m_brand);

    auto *status = new QHBoxLayout;
    status->setSpacing(10);
    m_orb = new StatusOrb(ServiceStatus::unknown, 10, this);
    m_summary = new LimitedLabel(QString(), textFont(font(), TextStyle::title2, QFont::Bold), 1, this);
    m_summary->setObjectName(QStringLiteral("popover.summary"));
    m_paused = plainLabel(QStringLiteral("Paused"), textFont(font(), TextStyle::caption), this);
    m_paused->setObjectName(QStringLiteral("popover.pausedWord"));
    setLabelColor(m_paused, secondaryColor(palette()));
    m_refresh = new RefreshButton(this);
    connect(m_refresh, &QAbstractButton::clicked, this, [this] { m_state->refreshAll(); });
    status->addWidget(m_orb);
    status->addWidget(m_summary, 1);
    status->addSpacing(8);
    status->addWidget(m_paused);
    status->addWidget(m_refresh);
    layout->addLayout(status);

    m_countsLine = new QWidget(this);
    auto *counts = new QHBoxLayout(m_countsLine);
    counts->setContentsMargins(0, 0, 0, 0);
    counts->setSpacing(8);
    m_statusWord = plainLabel(QString(), textFont(font(), TextStyle::caption), m_countsLine);
    m_statusWord->setObjectName(QStringLiteral("popover.statusWord"));
    m_counts = plainLabel(QString(), textFont(font(), TextStyle::caption), m_countsLine);
    m_counts->setObjectName(QStringLiteral("popover.counts"));
    for (QLabel *label : {m_statusWord, m_counts})
        setLabelColor(label, secondaryColor(palette()));
    counts->addWidget(m_statusWord);
    counts->addStretch(1);
    counts->addWidget(m_counts);
    layout->addWidget(m_countsLine);
}

void PopoverHeader::changeEvent(QEvent *event)
{
    if (accentSurroundingsChanged(event))
        setLabelColor(m_brand, marrowickAccentOn(this, accentTextContrast));
    QWidget::changeEvent(event);
}

void PopoverHeader::refresh(Instant now)
{
    const bool paused = m_state->isPaused();
    const bool hasSources = !m_state->sources().isEmpty();
    const OverallStatus overall = m_state->overallStatus();
    const QString word = PopoverSummary::statusWord(overall, hasSources);
    m_orb->setStatus(overallStatusColor(overall), word);
    setLine(m_summary, PopoverSummary::summaryText(overall, hasSources));
    m_paused->setVisible(paused);
    m_refresh->setVisible(!paused);

    std::optional<Instant> latest;
    for (const Instant &fetched : PopoverRows::fetchTimes(m_state->snapshots()))
        latest = latest ? std::max(*latest, fetched) : fetched;
    m_refresh->age()->setVisible(latest.has_value());
    if (latest)
        m_refresh->age()->setDate(*latest, now);

    const std::optional<QString> counts = paused ? PopoverSummary::inactiveText(m_state->snapshots())
                                                 : PopoverSummary::affectedText(m_state->snapshots(), m_state->errors());
    m_countsLine->setVisible(hasSources || counts.has_value());
    setLine(m_statusWord, word);
    setOptionalLine(m_counts, counts);
}

} // namespace marrowick
