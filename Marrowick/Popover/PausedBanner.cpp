#include "Marrowick/Popover/PausedBanner.h"

#include "Marrowick/Style/Symbol.h"
#include "Marrowick/Popover/PopoverText.h"
#include "Marrowick/Style/MarrowickStyle.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>

namespace marrowick {

namespace {

constexpr qreal radius = 12;
constexpr float fillOpacity = 0.1f;

QColor tint(QColor accent, float opacity)
{
    accent.setAlphaF(opacity);
    return accent;
}

} // namespace

PausedBanner::PausedBanner(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("popover.pausedBanner"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(12, 12, 12, 12);
    layout->setSpacing(8);
    auto *title = new QHBoxLayout;
    title->setSpacing(8);
    title->addWidget(new SymbolView(Symbol::questionmarkCircle, 14, this));
    QLabel *heading = plainLabel(QStringLiteral("Tracking is currently inactive"),
                                 systemFont(font(), 12, QFont::DemiBold), this);
    heading->setObjectName(QStringLiteral("title"));
    title->addWidget(heading, 1);
    layout->addLayout(title);
    QLabel *hint = plainLabel(QStringLiteral("Click the play button in the toolbar below to resume live monitoring."),
                              systemFont(font(), 11), this);
    hint->setWordWrap(true);
    setLabelColor(hint, secondaryColor(palette()));
    layout->addWidget(hint);
    followAccent();
}

void PausedBanner::followAccent()
{
    // The heading is text on the banner's own tint of the accent.
    const QColor ink = marrowickAccentOn(this, accentTextContrast, tint(marrowickAccent(this), fillOpacity));
    for (auto *symbol : findChildren<SymbolView *>())
        symbol->setColor(ink);
    if (auto *heading = findChild<QLabel *>(QStringLiteral("title")))
        setLabelColor(heading, ink);
}

void PausedBanner::changeEvent(QEvent *event)
{
    if (accentSurroundingsChanged(event))
        followAccent();
    QWidget::changeEvent(event);
}

void PausedBanner::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor accent = marrowickAccent(this);
    QPainterPath shape;
    shape.addRoundedRect(QRectF(rect()), radius, radius);
    painter.fillPath(shape, tint(accent, fillOpacity));
    QPainterPath border;
    border.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), radius, radius);
    painter.strokePath(border, QPen(tint(accent, 0.2f), 1));
}

} // namespace marrowick
