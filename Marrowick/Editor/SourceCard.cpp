#include "Marrowick/Editor/SourceCard.h"

#include "Marrowick/Style/AccessibleRoles.h"
#include "Marrowick/Style/MarrowickStyle.h"

#include <QFontMetrics>
#include <QHash>
#include <QPainter>
#include <QPainterPath>

namespace marrowick {

namespace {

QFont scaledFont(const QFont &base, double factor, QFont::Weight weight)
{
    QFont font = base;
    font.setPointSizeF(base.pointSizeF() * factor);
    font.setWeight(weight);
    return font;
}

// The drawn symbol for a source type's or example's system image name.
Symbol symbolNamed(const QString &systemImage)
{
    static const QHash<QString, Symbol> symbols{
        {QStringLiteral("waveform.path.ecg"), Symbol::waveform},
        {QStringLiteral("gauge.with.dots.needle.33percent"), Symbol::gauge},
        {QStringLiteral("gamecontroller"), Symbol::gameController},
        {QStringLiteral("globe"), Symbol::globe},
        {QStringLiteral("network"), Symbol::network},
        {QStringLiteral("curlybraces"), Symbol::curlyBraces},
        {QStringLiteral("checkmark.seal"), Symbol::checkmarkSeal},
        {QStringLiteral("cube"), Symbol::cube},
    };
    return symbols.value(systemImage, Symbol::questionmarkCircle);
}

} // namespace

SourceCard::SourceCard(Kind kind, const QString &symbol, const QString &title, const QString &subtitle,
                       QWidget *parent)
    : QAbstractButton(parent), m_kind(kind), m_symbol(symbolNamed(symbol)), m_subtitle(subtitle)
{
    // The type cards are one choice among six; the examples are plain buttons.
    if (kind == Kind::type) {
        setAccessibleKind(this, AccessibleKind::choice);
        setAccessibleChosen(this, false);
    }
    setText(title);
    setAccessibleName(kind == Kind::example ? title + QStringLiteral(" example") : title);
    setAccessibleDescription(subtitle);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::StrongFocus);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void SourceCard::setSelected(bool selected)
{
    if (m_selected == selected)
        return;
    m_selected = selected;
    if (m_kind == Kind::type)
        setAccessibleChosen(this, selected);
    update();
}

QSize SourceCard::sizeHint() const
{
    return m_kind == Kind::type ? QSize(130, 90) : QSize(120, 70);
}

QSize SourceCard::minimumSizeHint() const
{
    return QSize(60, sizeHint().height());
}

void SourceCard::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF area = QRectF(rect()).adjusted(focusMargin, focusMargin, -focusMargin, -focusMargin);
    const QColor text = palette().color(QPalette::WindowText);
    const QColor accent = marrowickAccent(this);
    const qreal radius = m_kind == Kind::type ? 14 : 12;

    QPainterPath shape;
    shape.addRoundedRect(area, radius, radius);
    if (m_kind == Kind::type) {
        // Selected: tinted and outlined in the accent. Focus is the ring around the card, so
        // a focused card and a selected one never look alike.
        QColor fill = m_selected ? accent : text;
        fill.setAlphaF(m_selected ? 0.16 : 0.06);
        painter.fillPath(shape, fill);
        if (m_selected) {
            painter.setPen(QPen(marrowickAccentMark(this), 2));
            painter.drawRoundedRect(area.adjusted(1, 1, -1, -1), radius - 1, radius - 1);
        }
    } else {
        painter.fillPath(shape, cardFill(palette()));
        paintCardOutline(painter, area, radius, palette());
    }
    if (hasFocus()) {
        const qreal outset = focusMargin - 1;
        painter.setPen(QPen(marrowickAccentMark(this), 2));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(area.adjusted(-outset, -outset, outset, outset), radius + outset, radius + outset);
    }
    if (isDown())
        painter.fillPath(shape, QColor(0, 0, 0, 20));

    const QFont titleFont = scaledFont(font(), m_kind == Kind::type ? 1.0 : 0.88, QFont::DemiBold);
    const QFont subtitleFont = scaledFont(font(), 0.78, QFont::Normal);
    const double symbolSide = m_kind == Kind::type ? 24 : 16;
    const double spacing = m_kind == Kind::type ? 8 : 4;
    const QFontMetricsF titleMetrics(titleFont);
    const QFontMetricsF subtitleMetrics(subtitleFont);
    const double total = symbolSide + spacing + titleMetrics.height() + spacing + subtitleMetrics.height();
    double y = area.center().y() - total / 2;

    paintSymbol(painter, m_symbol, QRectF(area.center().x() - symbolSide / 2, y, symbolSide, symbolSide), text);
    y += symbolSide + spacing;
    painter.setPen(text);
    painter.setFont(titleFont);
    const QRectF titleRect(area.left() + 4, y, area.width() - 8, titleMetrics.height());
    painter.drawText(titleRect, Qt::AlignCenter, titleMetrics.elidedText(this->text(), Qt::ElideRight, titleRect.width()));
    y += titleMetrics.height() + spacing;
    QColor secondary = text;
    secondary.setAlphaF(0.6);
    painter.setPen(secondary);
    painter.setFont(subtitleFont);
    const QRectF subtitleRect(area.left() + 4, y, area.width() - 8, subtitleMetrics.height());
    painter.drawText(subtitleRect, Qt::AlignCenter,
                     subtitleMetrics.elidedText(m_subtitle, Qt::ElideRight, subtitleRect.width()));
}

} // namespace marrowick
