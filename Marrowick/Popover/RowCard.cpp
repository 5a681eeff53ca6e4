#include "Marrowick/Popover/RowCard.h"

#include "Marrowick/Popover/CheckRowView.h"
#include "Marrowick/Popover/GameRowView.h"
#include "Marrowick/Popover/HostRowView.h"
#include "Marrowick/Popover/KeyValuesRowView.h"
#include "Marrowick/Popover/ServiceRowView.h"
#include "Marrowick/Popover/SourceEmptyRowView.h"
#include "Marrowick/Popover/SourceErrorRowView.h"
#include "Marrowick/Popover/SourceGroupHeaderRowView.h"
#include "Marrowick/Style/MarrowickStyle.h"

#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

namespace marrowick {

using namespace PopoverRows;

namespace {

constexpr qreal panelRadius = 12;
constexpr qreal panelFillOpacity = 0.02;

SourceGroupHeaderRowView::Values headerValues(const HeaderRow &header)
{
    return {header.source.displayName(), header.count,  header.aggregate,
            header.avgLatencyMs,         header.status, header.collapsed};
}

} // namespace

RowCard::RowCard(QWidget *parent) : QWidget(parent)
{
    markSurface(this, cardFillOpacity);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
}

RowCard::ViewKind RowCard::viewKind(const Row &row)
{
    switch (row.rowCase()) {
    case Row::Case::error:
        return ViewKind::error;
    case Row::Case::empty:
        return ViewKind::empty;
    case Row::Case::header:
        return ViewKind::header;
    case Row::Case::single:
    case Row::Case::child:
        break;
    }
    switch (row.widget()->widgetCase()) {
    case WidgetData::Case::service:
        return ViewKind::service;
    case WidgetData::Case::host:
        return ViewKind::host;
    case WidgetData::Case::game:
        return ViewKind::game;
    case WidgetData::Case::check:
        return ViewKind::check;
    case WidgetData::Case::keyValues:
        break;
    }
    return ViewKind::keyValues;
}

void RowCard::setRow(const Row &row, const QList<double> &history, const RowSettings &settings, const Toggle &toggle,
                     QList<QWidget *> &shows)
{
    const ViewKind kind = viewKind(row);
    if (kind == m_kind && m_view) {
        updateView(row, history, settings);
        return;
    }
    delete m_view;
    m_kind = kind;
    m_view = makeView(row, history, settings, toggle);
    layout()->addWidget(m_view);
    shows.append(m_view);
}

QWidget *RowCard::makeView(const Row &row, const QList<double> &history, const RowSettings &settings,
                           const Toggle &toggle)
{
    if (const auto *error = row.get<ErrorRow>())
        return new SourceErrorRowView(error->source.displayName(), error->message, settings, this);
    if (const auto *empty = row.get<EmptyRow>())
        return new SourceEmptyRowView(empty->source.displayName(), settings, this);
    if (const auto *header = row.get<HeaderRow>())
        return new SourceGroupHeaderRowView(headerValues(*header), toggle, settings, this);
    const WidgetData &widget = *row.widget();
    if (const auto *service = widget.get<ServiceRow>())
        return new ServiceRowView(*service, history, settings, this);
    if (const auto *host = widget.get<HostStats>())
        return new HostRowView(*host, settings, this);
    if (const auto *game = widget.get<GameServerStatus>())
        return new GameRowView(*game, history, settings, this);
    if (const auto *check = widget.get<CheckResult>())
        return new CheckRowView(*check, history, settings, this);
    const auto *values = widget.get<KeyValues>();
    return new KeyValuesRowView(values->title, values->fields, settings, this);
}

void RowCard::updateView(const Row &row, const QList<double> &history, const RowSettings &settings)
{
    if (const auto *error = row.get<ErrorRow>())
        return static_cast<SourceErrorRowView *>(m_view)->set(error->source.displayName(), error->message, settings);
    if (const auto *empty = row.get<EmptyRow>())
        return static_cast<SourceEmptyRowView *>(m_view)->set(empty->source.displayName(), settings);
    if (const auto *header = row.get<HeaderRow>())
        return static_cast<SourceGroupHeaderRowView *>(m_view)->set(headerValues(*header), settings);
    const WidgetData &widget = *row.widget();
    if (const auto *service = widget.get<ServiceRow>())
        return static_cast<ServiceRowView *>(m_view)->set(*service, history, settings);
    if (const auto *host = widget.get<HostStats>())
        return static_cast<HostRowView *>(m_view)->set(*host, settings);
    if (const auto *game = widget.get<GameServerStatus>())
        return static_cast<GameRowView *>(m_view)->set(*game, history, settings);
    if (const auto *check = widget.get<CheckResult>())
        return static_cast<CheckRowView *>(m_view)->set(*check, history, settings);
    const auto *values = widget.get<KeyValues>();
    static_cast<KeyValuesRowView *>(m_view)->set(values->title, values->fields, settings);
}

void RowCard::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath card;
    card.addRoundedRect(QRectF(rect()), cornerRadius, cornerRadius);
    painter.fillPath(card, cardFill(palette()));
    paintCardOutline(painter, QRectF(rect()), cornerRadius, palette());
}

GroupChildrenPanel::GroupChildrenPanel(QWidget *parent) : QWidget(parent)
{
    markSurface(this, panelFillOpacity);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(12, 0, 0, 0);
    layout->setSpacing(8);
}

void GroupChildrenPanel::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath panel;
    panel.addRoundedRect(QRectF(rect()), panelRadius, panelRadius);
    painter.setClipPath(panel);
    QColor fill = palette().color(QPalette::WindowText);
    fill.setAlphaF(static_cast<float>(panelFillOpacity));
    painter.fillRect(rect(), fill);
    QColor line = marrowickAccent(this);
    line.setAlphaF(0.2f);
    painter.fillRect(QRectF(0, 0, 1, height()), line);
}

} // namespace marrowick
