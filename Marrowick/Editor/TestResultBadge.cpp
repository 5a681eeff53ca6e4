#include "Marrowick/Editor/TestResultBadge.h"

#include "Marrowick/Style/AccessibleRoles.h"
#include "Marrowick/Style/StatusOrb.h"
#include "Marrowick/Style/StatusText.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <QTextLayout>

#include <cmath>

namespace marrowick {

namespace {

constexpr double horizontalPadding = 8;
constexpr double verticalPadding = 4;
constexpr double dotSide = 6;
constexpr double spacing = 6;
constexpr int maximumLines = 2;
constexpr double maximumTextWidth = 260;

} // namespace

TestResultBadge::TestResultBadge(QWidget *parent) : QWidget(parent)
{
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    setAccessibleKind(this, AccessibleKind::notification);
}

QString TestResultBadge::spokenText(bool passed, const QString &message)
{
    // The colour tells a failure from a success on screen; the words must tell it alike.
    if (passed || message == QLatin1String("Failed"))
        return message;
    return QStringLiteral("Failed: ") + message;
}

void TestResultBadge::setResult(bool passed, const QString &message)
{
    m_passed = passed;
    m_message = message;
    setAccessibleNameIfChanged(this, spokenText(passed, message));
    updateGeometry();
    update();
}

QColor TestResultBadge::colour() const
{
    return statusColor(m_passed ? ServiceStatus::up : ServiceStatus::down);
}

QFont TestResultBadge::badgeFont() const
{
    QFont font = this->font();
    font.setPointSizeF(font.pointSizeF() * 0.88);
    font.setWeight(QFont::DemiBold);
    return font;
}

QSize TestResultBadge::sizeHint() const
{
    const QFontMetricsF metrics(badgeFont());
    const double textWidth = std::min(maximumTextWidth, metrics.horizontalAdvance(m_message) + 1);
    const int width = int(std::ceil(horizontalPadding * 2 + dotSide + spacing + textWidth));
    return QSize(width, heightForWidth(width));
}

QSize TestResultBadge::minimumSizeHint() const
{
    return QSize(80, heightForWidth(80));
}

int TestResultBadge::heightForWidth(int width) const
{
    const QFontMetricsF metrics(badgeFont());
    const double textWidth = width - horizontalPadding * 2 - dotSide - spacing;
    const QRectF bounds = metrics.boundingRect(QRectF(0, 0, std::max(1.0, textWidth), 1000),
                                               Qt::TextWordWrap | Qt::TextWrapAnywhere, m_message);
    const int lines = std::clamp(int(std::round(bounds.height() / metrics.lineSpacing())), 1, maximumLines);
    return int(std::ceil(lines * metrics.lineSpacing() + verticalPadding * 2));
}

QRectF TestResultBadge::textRect(const QRectF &area) const
{
    return area.adjusted(horizontalPadding + dotSide + spacing, verticalPadding, -horizontalPadding, -verticalPadding);
}

void TestResultBadge::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor tint = colour();
    const QRectF area = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    const double radius = std::min(area.height() / 2, 12.0);

    QPainterPath capsule;
    capsule.addRoundedRect(area, radius, radius);
    QColor fill = tint;
    fill.setAlphaF(0.13);
    painter.fillPath(capsule, fill);
    QColor stroke = tint;
    stroke.setAlphaF(0.27);
    painter.setPen(QPen(stroke, 1));
    painter.drawPath(capsule);

    painter.setPen(Qt::NoPen);
    painter.setBrush(tint);
    painter.drawEllipse(QRectF(area.left() + horizontalPadding, area.center().y() - dotSide / 2, dotSide, dotSide));

    // Plain text, cut after the second line with an ellipsis; the dot keeps the vivid colour.
    painter.setPen(statusTextColor(this, tint, fill));
    const QFont font = badgeFont();
    painter.setFont(font);
    const QRectF box = textRect(area);
    const QFontMetricsF metrics(font);
    QTextLayout layout(m_message, font);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    QStringList lines;
    for (int i = 0; i < maximumLines; ++i) {
        QTextLine line = layout.createLine();
        if (!line.isValid())
            break;
        line.setLineWidth(box.width());
        lines.append(m_message.mid(line.textStart(), line.textLength()));
        if (i == maximumLines - 1 && line.textStart() + line.textLength() < m_message.size())
            lines.last() = metrics.elidedText(m_message.mid(line.textStart()), Qt::ElideRight, box.width());
    }
    layout.endLayout();
    double y = box.center().y() - lines.size() * metrics.lineSpacing() / 2;
    for (const QString &line : std::as_const(lines)) {
        painter.drawText(QRectF(box.left(), y, box.width(), metrics.lineSpacing()), Qt::AlignLeft | Qt::AlignVCenter,
                         line.trimmed());
        y += metrics.lineSpacing();
    }
}

} // namespace marrowick
