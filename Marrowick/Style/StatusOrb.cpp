#include "Marrowick/Style/StatusOrb.h"

#include "Marrowick/Style/AccessibleRoles.h"

#include <QPainter>
#include <QRadialGradient>

#include <cmath>

namespace marrowick {

QColor statusColor(ServiceStatus status)
{
    switch (status) {
    case ServiceStatus::up:
        return overallStatusColor(OverallStatus::up);
    case ServiceStatus::down:
        return overallStatusColor(OverallStatus::down);
    case ServiceStatus::warn:
        return overallStatusColor(OverallStatus::degraded);
    case ServiceStatus::unknown:
        break;
    }
    return overallStatusColor(OverallStatus::unknown);
}

QColor overallStatusColor(OverallStatus status)
{
    // The tray's dot and the popup's orbs say the same thing in the same colours.
    switch (status) {
    case OverallStatus::up:
        return QColor(52, 199, 89);
    case OverallStatus::degraded:
        return QColor(255, 204, 0);
    case OverallStatus::down:
        return QColor(255, 59, 48);
    case OverallStatus::paused:
    case OverallStatus::unknown:
        break;
    }
    return QColor(142, 142, 147);
}

QString statusWord(ServiceStatus status)
{
    switch (status) {
    case ServiceStatus::up:
        return QStringLiteral("Up");
    case ServiceStatus::down:
        return QStringLiteral("Down");
    case ServiceStatus::warn:
        return QStringLiteral("Warning");
    case ServiceStatus::unknown:
        break;
    }
    return QStringLiteral("Unknown");
}

StatusOrb::StatusOrb(ServiceStatus status, qreal size, QWidget *parent) : QWidget(parent), m_size(size)
{
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAccessibleKind(this, AccessibleKind::graphic);
    setStatus(status);
}

void StatusOrb::setStatus(ServiceStatus status)
{
    setStatus(statusColor(status), statusWord(status));
}

void StatusOrb::setStatus(const QColor &color, const QString &word)
{
    setAccessibleNameIfChanged(this, word);
    if (color == m_color)
        return;
    m_color = color;
    update();
}

QSize StatusOrb::sizeHint() const
{
    const int side = static_cast<int>(std::ceil(m_size * 2));
    return QSize(side, side);
}

void StatusOrb::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPointF centre = QRectF(rect()).center();
    // The glow: the colour at 0.6 fading out over half the orb's size beyond its edge.
    const qreal glowRadius = m_size;
    QRadialGradient glow(centre, glowRadius);
    QColor inner = m_color;
    inner.setAlphaF(0.6f);
    QColor outer = m_color;
    outer.setAlphaF(0.0f);
    glow.setColorAt(0.5, inner);
    glow.setColorAt(1.0, outer);
    painter.setPen(Qt::NoPen);
    painter.setBrush(glow);
    painter.drawEllipse(centre, glowRadius, glowRadius);
    painter.setBrush(m_color);
    painter.drawEllipse(centre, m_size / 2, m_size / 2);
}

} // namespace marrowick
