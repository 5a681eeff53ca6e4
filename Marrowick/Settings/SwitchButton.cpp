#include "Marrowick/Settings/SwitchButton.h"

#include "Marrowick/Style/MarrowickStyle.h"

#include <QPainter>

namespace marrowick {

namespace {

constexpr qreal focusMargin = 3;
constexpr qreal offEdgeWidth = 1.5;

} // namespace

SwitchButton::SwitchButton(const QString &accessibleTitle, QWidget *parent) : QAbstractButton(parent)
{
    setCheckable(true);
    setText(accessibleTitle);
    setAccessibleName(accessibleTitle);
    setFixedSize(sizeHint());
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::StrongFocus);
}

void SwitchButton::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    if (hasFocus()) {
        const QRectF ring = QRectF(rect()).adjusted(1, 1, -1, -1);
        p.setPen(QPen(marrowickAccentMark(this), 2));
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(ring, ring.height() / 2, ring.height() / 2);
    }
    const QRectF track = QRectF(rect()).adjusted(focusMargin, focusMargin, -focusMargin, -focusMargin);
    const qreal knob = track.height() - 4;
    const QRectF knobArea(isChecked() ? track.right() - 2 - knob : track.left() + 2, track.top() + 2, knob, knob);
    if (isChecked()) {
        // The accent as a mark on the card the switch sits on, so a light accent on a light
        // card still reads as "on"; the knob in the ink that reads on it.
        const QColor trackColor = marrowickAccentMark(this);
        p.setPen(Qt::NoPen);
        p.setBrush(trackColor);
        p.drawRoundedRect(track, track.height() / 2, track.height() / 2);
        p.setPen(QPen(QColor(0, 0, 0, 40), 0.5));
        p.setBrush(inkOn(trackColor));
        p.drawEllipse(knobArea);
        return;
    }
    // Off: an outlined track with a smaller knob in the colour of its edge, both standing out
    // of the card and of the track's faint inside as a field's edge does, whatever the theme.
    const QColor surface = surfaceBehind(this);
    QColor faint = palette().color(QPalette::WindowText);
    faint.setAlphaF(0.06f);
    const QColor inside = composited(faint, surface);
    const QColor edge = controlEdge(palette().color(QPalette::WindowText), inside, surface);
    const qreal inset = offEdgeWidth / 2;
    p.setPen(QPen(edge, offEdgeWidth));
    p.setBrush(inside);
    p.drawRoundedRect(track.adjusted(inset, inset, -inset, -inset), track.height() / 2 - inset, track.height() / 2 - inset);
    p.setPen(Qt::NoPen);
    p.setBrush(edge);
    p.drawEllipse(knobArea.adjusted(2, 2, -2, -2));
}

} // namespace marrowick
