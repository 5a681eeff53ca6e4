#include "Marrowick/Popover/PopoverToolbar.h"

#include "Marrowick/Popover/PopoverText.h"
#include "Marrowick/Style/AccessibleRoles.h"
#include "Marrowick/Style/MarrowickStyle.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QPainterPath>

namespace marrowick {

namespace {

constexpr qreal capsuleFillOpacity = 0.08;

} // namespace

SymbolButton::SymbolButton(Symbol symbol, const QString &identifier, QWidget *parent)
    : QAbstractButton(parent), m_symbol(symbol)
{
    setObjectName(identifier);
    setFixedSize(28, 28);
    setCursor(Qt::PointingHandCursor);
}

void SymbolButton::setSymbol(Symbol symbol)
{
    if (symbol == m_symbol)
        return;
    m_symbol = symbol;
    update();
}

void SymbolButton::setLabel(const QString &label)
{
    setToolTip(label);
    setAccessibleNameIfChanged(this, label);
}

void SymbolButton::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    if (isDown())
        painter.setOpacity(0.6);
    const QRectF symbolArea(7, 7, 14, 14);
    paintSymbol(painter, m_symbol, symbolArea, secondaryColor(palette()));
    if (hasFocus()) {
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(marrowickAccentMark(this), 2));
        painter.drawRoundedRect(QRectF(rect()).adjusted(1, 1, -1, -1), 6, 6);
    }
}

PopoverToolbar::PopoverToolbar(QWidget *parent) : QWidget(parent)
{
    auto *outer = new QHBoxLayout(this);
    outer->setContentsMargins(14, 8, 14, 8);
    m_capsule = new QWidget(this);
    markSurface(m_capsule, capsuleFillOpacity);
    auto *buttons = new QHBoxLayout(m_capsule);
    buttons->setContentsMargins(10, 6, 10, 6);
    buttons->setSpacing(8);
    m_settings = new SymbolButton(Symbol::gear, QStringLiteral("popover.settings"), m_capsule);
    m_settings->setLabel(QStringLiteral("Settings"));
    m_pause = new SymbolButton(Symbol::pause, QStringLiteral("popover.pause"), m_capsule);
    m_quit = new SymbolButton(Symbol::power, QStringLiteral("popover.quit"), m_capsule);
    m_quit->setLabel(QStringLiteral("Quit Marrowick"));
    for (SymbolButton *button : {m_settings, m_pause, m_quit})
        buttons->addWidget(button);
    outer->addWidget(m_capsule);
    outer->addStretch(1);
    setPaused(false);
}

void PopoverToolbar::setPaused(bool paused)
{
    m_pause->setSymbol(paused ? Symbol::play : Symbol::pause);
    m_pause->setLabel(paused ? QStringLiteral("Resume monitoring") : QStringLiteral("Pause monitoring"));
}

void PopoverToolbar::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF area = QRectF(m_capsule->geometry());
    QPainterPath capsule;
    capsule.addRoundedRect(area, area.height() / 2, area.height() / 2);
    QColor fill = palette().color(QPalette::WindowText);
    fill.setAlphaF(static_cast<float>(capsuleFillOpacity));
    painter.fillPath(capsule, fill);
    QPainterPath border;
    const QRectF inner = area.adjusted(0.5, 0.5, -0.5, -0.5);
    border.addRoundedRect(inner, inner.height() / 2, inner.height() / 2);
    painter.strokePath(border, QPen(cardStroke(palette()), 1));
}

} // namespace marrowick
