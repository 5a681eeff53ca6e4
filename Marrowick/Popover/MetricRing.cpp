#include "Marrowick/Popover/MetricRing.h"

#include "Marrowick/Popover/PopoverText.h"
#include "Marrowick/Style/AccessibleRoles.h"
#include "Marrowick/Style/StatusOrb.h"
#include "Marrowick/Style/MarrowickStyle.h"

#include <QEvent>
#include <QFontMetrics>
#include <QPainter>

#include <cmath>

namespace marrowick {

namespace {

constexpr int ringSide = 26;
constexpr qreal lineWidth = 3;
constexpr int spacing = 2;
constexpr qreal smallText = 7;
// Far beyond any real percentage; keeps the text's integer conversion defined.
constexpr double percentLimit = 1e9;

// A value that is not a number says nothing: shown as absent.
std::optional<double> usable(std::optional<double> pct)
{
    return pct && !std::isnan(*pct) ? pct : std::nullopt;
}

QColor trackColor(const QPalette &palette)
{
    QColor track = palette.color(QPalette::WindowText);
    track.setAlphaF(0.12f);
    return track;
}

// The arc lies on its track: the accent must stand out of that.
QColor arcAccent(const QWidget *ring)
{
    return marrowickAccentOn(ring, accentMarkContrast, trackColor(ring->palette()));
}

} // namespace

MetricRing::MetricRing(const QString &label, std::optional<double> pct, QWidget *parent)
    : QWidget(parent), m_label(label), m_pct(pct)
{
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setAccessibleName(label + QLatin1Char(' ') + percentText(pct));
    m_accent = arcAccent(this);
}

void MetricRing::changeEvent(QEvent *event)
{
    if (accentSurroundingsChanged(event))
        m_accent = arcAccent(this);
    QWidget::changeEvent(event);
}

void MetricRing::setPct(std::optional<double> pct)
{
    if (pct == m_pct)
        return;
    m_pct = pct;
    setAccessibleNameIfChanged(this, m_label + QLatin1Char(' ') + percentText(pct));
    update();
}

double MetricRing::fillFraction(std::optional<double> pct)
{
    pct = usable(pct);
    if (!pct)
        return 0;
    const double fraction = *pct / 100;
    if (!(fraction > 0))
        return 0;
    return fraction > 1 ? 1 : fraction;
}

QColor MetricRing::ringColor(std::optional<double> pct, const QColor &accent)
{
    pct = usable(pct);
    if (!pct)
        return statusColor(ServiceStatus::unknown);
    if (*pct > 90)
        return statusColor(ServiceStatus::down);
    if (*pct > 70)
        return statusColor(ServiceStatus::warn);
    return accent;
}

QString MetricRing::percentText(std::optional<double> pct)
{
    pct = usable(pct);
    if (!pct)
        return QStringLiteral("\u2014");
    return QString::number(truncatedForDisplay(*pct, percentLimit)) + QLatin1Char('%');
}

QSize MetricRing::sizeHint() const
{
    const QFontMetrics metrics(systemFont(font(), smallText));
    const int width = std::max(ringSide, metrics.horizontalAdvance(m_label));
    return QSize(width, ringSide + spacing + metrics.height());
}

void MetricRing::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF ring((width() - ringSide) / 2.0, 0, ringSide, ringSide);
    const QRectF circle = ring.adjusted(lineWidth / 2, lineWidth / 2, -lineWidth / 2, -lineWidth / 2);
    painter.setPen(QPen(trackColor(palette()), lineWidth));
    painter.drawEllipse(circle);

    const double fraction = fillFraction(m_pct);
    if (fraction > 0) {
        painter.setPen(QPen(ringColor(m_pct, m_accent), lineWidth, Qt::SolidLine, Qt::RoundCap));
        // Qt's angles run counter-clockwise from three o'clock: start at twelve and go clockwise.
        painter.drawArc(circle, 90 * 16, -static_cast<int>(std::lround(fraction * 360 * 16)));
    }

    const QFont small = systemFont(font(), smallText);
    painter.setFont(small);
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(ring, Qt::AlignCenter | Qt::TextSingleLine, percentText(m_pct));
    painter.setPen(secondaryColor(palette()));
    painter.drawText(QRectF(0, ringSide + spacing, width(), height() - ringSide - spacing),
                     Qt::AlignHCenter | Qt::AlignTop | Qt::TextSingleLine, m_label);
}

} // namespace marrowick
