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
    const QColor accent = marrowickAccent(this);
    for (auto *symbol : findChildren<SymbolView *>())
        symbol->setColor(accent);
    if (auto *heading = findChild<QLabel *>(QStringLiteral("title")))
        setLabelColor(heading, accent);
}

void PausedBanner::changeEvent(QEvent *event)
{
    // The accent arrives with the palette of the window it is put in.
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::ParentChange)
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
    QColor fill = accent;
    fill.setAlphaF(0.1f);
    painter.fillPath(shape, fill);
    QPainterPath border;
    border.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), radius, radius);
    QColor line = accent;
    line.setAlphaF(0.2f);
    painter.strokePath(border, QPen(line, 1));
}

} // namespace marrowick
