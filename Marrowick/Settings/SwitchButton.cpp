#include "Marrowick/Settings/SwitchButton.h"

#include "Marrowick/Style/MarrowickStyle.h"

#include <QPainter>

namespace marrowick {

namespace {

constexpr qreal focusMargin = 3;
// Below this the white knob melts into a light track and takes the dark colour instead.
constexpr double knobContrast = 1.5;

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
    QColor off = palette().color(QPalette::WindowText);
    off.setAlphaF(0.2f);
    // The accent as a mark on the card the switch sits on, so a light accent on a light card
    // still reads as "on".
    const QColor trackColor = isChecked() ? marrowickAccentMark(this) : composited(off, surfaceBehind(this));
    if (hasFocus()) {
        const QRectF ring = QRectF(rect()).adjusted(1, 1, -1, -1);
        p.setPen(QPen(marrowickAccentMark(this), 2));
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(ring, ring.height() / 2, ring.height() / 2);
    }
    const QRectF track = QRectF(rect()).adjusted(focusMargin, focusMargin, -focusMargin, -focusMargin);
    p.setPen(Qt::NoPen);
    p.setBrush(trackColor);
    p.drawRoundedRect(track, track.height() / 2, track.height() / 2);
    const qreal knob = track.height() - 4;
    const qreal x = isChecked() ? track.right() - 2 - knob : track.left() + 2;
    const QColor knobColor =
        contrastRatio(Qt::white, trackColor) >= knobContrast ? QColor(Qt::white) : darkOnAccent();
    p.setPen(QPen(QColor(0, 0, 0, 40), 0.5));
    p.setBrush(knobColor);
    p.drawEllipse(QRectF(x, track.top() + 2, knob, knob));
}

} // namespace marrowick
