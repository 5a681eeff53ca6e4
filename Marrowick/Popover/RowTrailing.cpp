#include "Marrowick/Popover/RowTrailing.h"

#include "Marrowick/Popover/LatencyPill.h"
#include "Marrowick/Popover/PopoverText.h"
#include "Marrowick/Popover/Sparkline.h"
#include "Marrowick/Style/AccessibleRoles.h"
#include "Marrowick/Style/StatusOrb.h"
#include "Marrowick/Style/MarrowickStyle.h"
#include "Marrowick/Style/StatusText.h"

#include <QEvent>
#include <QFontMetricsF>
#include <QPainter>

#include <cmath>

namespace marrowick {

RowTrailing::RowTrailing(ServiceStatus status, const QString &downText, std::optional<double> latencyMs,
                         const QList<double> &history, const RowSettings &settings, QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("trailing"));
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    readInks();
    set(status, downText, latencyMs, history, settings);
}

void RowTrailing::readInks()
{
    m_pillInk = LatencyPill::ink(this);
    m_lineInk = marrowickAccentMark(this);
    m_statusInk = statusTextColor(this, statusColor(m_status));
}

void RowTrailing::changeEvent(QEvent *event)
{
    if (accentSurroundingsChanged(event))
        readInks();
    QWidget::changeEvent(event);
}

void RowTrailing::set(ServiceStatus status, const QString &downText, std::optional<double> latencyMs,
                      const QList<double> &history, const RowSettings &settings)
{
    QString word;
    if (status == ServiceStatus::down)
        word = downText;
    else if (status != ServiceStatus::up)
        word = statusWord(status);
    const bool sparkline = settings.showSparklines && history.size() >= 2 && word.isEmpty();
    const QString latency = marrowick::latencyText(std::nullopt, latencyMs);
    const bool resized = word != m_statusText || sparkline != m_sparkline
                         || LatencyPill::pillSize(font(), latency) != LatencyPill::pillSize(font(), m_latencyText);
    if (status != m_status) {
        m_status = status;
        m_statusInk = statusTextColor(this, statusColor(status));
    }
    m_statusText = word;
    m_sparkline = sparkline;
    m_history = sparkline ? history : QList<double>();
    m_latencyText = latency;
    setAccessibleNameIfChanged(this, word.isEmpty() ? latency : word + QStringLiteral(", ") + latency);
    // Unchanged, this costs nothing; changed, it asks for a new layout itself.
    setMaximumWidth(m_sparkline ? widthWithSparkline() : sizeHint().width());
    if (resized)
        updateGeometry();
    update();
}

QFont RowTrailing::statusFont() const
{
    return textFont(font(), TextStyle::caption, QFont::DemiBold);
}

int RowTrailing::statusTextWidth() const
{
    const qreal width = QFontMetricsF(statusFont()).horizontalAdvance(m_statusText);
    return std::min(maximumStatusTextWidth, static_cast<int>(std::ceil(width)));
}

int RowTrailing::widthWithSparkline() const
{
    return sizeHint().width() + sparklineSize.width() + spacing;
}

// Without the sparkline, which only takes room left over; its height counts all the same, so
// the row keeps its height whether the room was there or not.
QSize RowTrailing::sizeHint() const
{
    const QSize pill = LatencyPill::pillSize(font(), m_latencyText);
    int width = pill.width();
    int height = pill.height();
    if (!m_statusText.isEmpty()) {
        width += statusTextWidth() + spacing;
        height = std::max(height, static_cast<int>(std::ceil(QFontMetricsF(statusFont()).height())));
    } else if (m_sparkline) {
        height = std::max(height, sparklineSize.height());
    }
    return QSize(width, height);
}

void RowTrailing::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const QSize pill = LatencyPill::pillSize(font(), m_latencyText);
    const QRectF pillArea(width() - pill.width(), (height() - pill.height()) / 2.0, pill.width(), pill.height());
    LatencyPill::paint(painter, pillArea, m_latencyText, font(), palette(), m_pillInk);
    const qreal end = pillArea.left() - spacing;
    if (!m_statusText.isEmpty()) {
        const int textWidth = statusTextWidth();
        painter.setFont(statusFont());
        painter.setPen(m_statusInk);
        const QString text = painter.fontMetrics().elidedText(m_statusText, Qt::ElideRight, textWidth);
        painter.drawText(QRectF(end - textWidth, 0, textWidth, height()), Qt::AlignVCenter | Qt::AlignRight, text);
    } else if (showsSparkline()) {
        const QRectF area(end - sparklineSize.width(), (height() - sparklineSize.height()) / 2.0,
                          sparklineSize.width(), sparklineSize.height());
        Sparkline::paint(painter, area.adjusted(1, 1, -1, -1), m_history, m_lineInk);
    }
}

} // namespace marrowick
