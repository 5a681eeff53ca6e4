#include "Marrowick/Settings/SwitchButton.h"

#include "Marrowick/Style/MarrowickStyle.h"

#include <QPainter>

namespace marrowick {

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
    const QRectF track = QRectF(rect()).adjusted(1, 1, -1, -1);
    QColor off = palette().color(QPalette::WindowText);
    off.setAlphaF(0.2);
    p.setPen(hasFocus() ? QPen(marrowickAccent(this).darker(130), 1.5) : Qt::NoPen);
    p.setBrush(isChecked() ? marrowickAccent(this) : off);
    p.drawRoundedRect(track, track.height() / 2, track.height() / 2);
    const qreal knob = track.height() - 4;
    const qreal x = isChecked() ? track.right() - 2 - knob : track.left() + 2;
    p.setPen(QPen(QColor(0, 0, 0, 40), 0.5));
    p.setBrush(Qt::white);
    p.drawEllipse(QRectF(x, track.top() + 2, knob, knob));
}

} // namespace marrowick
