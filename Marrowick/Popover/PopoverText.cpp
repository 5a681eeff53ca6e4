#include "Marrowick/Popover/PopoverText.h"

#include "Marrowick/Style/MarrowickStyle.h"

#include <QEvent>
#include <QFontMetricsF>
#include <QLabel>
#include <QPainter>
#include <QPalette>

#include <algorithm>
#include <cmath>

namespace marrowick {

namespace {

qreal pixelSize(TextStyle style)
{
    switch (style) {
    case TextStyle::title2:
        return 17;
    case TextStyle::callout:
        return 12;
    case TextStyle::caption:
        return 10;
    case TextStyle::caption2:
        break;
    }
    return 10;
}

} // namespace

QFont textFont(const QFont &base, TextStyle style, QFont::Weight weight)
{
    return systemFont(base, pixelSize(style), weight);
}

QFont systemFont(const QFont &base, qreal size, QFont::Weight weight)
{
    QFont font = base;
    font.setPixelSize(qRound(size));
    font.setWeight(weight);
    return font;
}

QColor secondaryColor(const QPalette &palette)
{
    QColor color = palette.color(QPalette::WindowText);
    color.setAlphaF(0.6f);
    return color;
}

QLabel *plainLabel(const QString &text, const QFont &font, QWidget *parent)
{
    auto *label = new QLabel(parent);
    label->setTextFormat(Qt::PlainText);
    label->setFont(font);
    label->setText(text);
    return label;
}

void setLabelColor(QLabel *label, const QColor &color)
{
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, color);
    label->setPalette(palette);
}

qint64 truncatedForDisplay(double value, double limit)
{
    if (!std::isfinite(value))
        return 0;
    return static_cast<qint64>(std::trunc(std::clamp(value, -limit, limit)));
}

LimitedLabel::LimitedLabel(const QString &text, const QFont &font, int maxLines, QWidget *parent)
    : QLabel(parent), m_maxLines(std::max(1, maxLines))
{
    setTextFormat(Qt::PlainText);
    setFont(font);
    setText(text);
    QSizePolicy policy(QSizePolicy::Preferred, m_maxLines > 1 ? QSizePolicy::Minimum : QSizePolicy::Fixed);
    policy.setHeightForWidth(m_maxLines > 1);
    setSizePolicy(policy);
}

QStringList LimitedLabel::visibleLines(int width) const
{
    const QFontMetrics metrics = fontMetrics();
    width = std::max(width, 1);
    if (m_maxLines == 1)
        return {metrics.elidedText(text().section(QLatin1Char('\n'), 0, 0), Qt::ElideRight, width)};

    // Line breaks in the text break lines in the layout too.
    QString laidOut = text();
    laidOut.replace(QLatin1Char('\n'), QChar::LineSeparator);
    QStringList lines;
    for (const auto &[start, length] : lineBreaks(laidOut, font(), width)) {
        if (lines.size() == m_maxLines - 1) {
            // The last line allowed takes whatever is left, cut with an ellipsis.
            QString rest = text().mid(start);
            rest.replace(QLatin1Char('\n'), QLatin1Char(' '));
            lines.append(metrics.elidedText(rest, Qt::ElideRight, width));
            break;
        }
        lines.append(text().mid(start, length).trimmed());
    }
    return lines;
}

QSize LimitedLabel::sizeHint() const
{
    const QMargins margins = contentsMargins();
    // Rounded up, or the text's last fraction of a pixel would cost it an ellipsis.
    const int width = static_cast<int>(
        std::ceil(QFontMetricsF(font()).horizontalAdvance(text().section(QLatin1Char('\n'), 0, 0)))) + 1;
    return QSize(width + margins.left() + margins.right(), heightForWidth(width + margins.left() + margins.right()));
}

QSize LimitedLabel::minimumSizeHint() const
{
    return QSize(0, fontMetrics().height() + contentsMargins().top() + contentsMargins().bottom());
}

int LimitedLabel::heightForWidth(int width) const
{
    const QMargins margins = contentsMargins();
    const qsizetype lines = m_maxLines == 1 ? 1 : visibleLines(width - margins.left() - margins.right()).size();
    return static_cast<int>(std::max<qsizetype>(lines, 1)) * fontMetrics().lineSpacing() + margins.top() + margins.bottom();
}

bool LimitedLabel::isCut() const
{
    // Line breaks and the blanks where lines wrap are not text that goes missing.
    const auto withoutBlanks = [](QString text) { return text.removeIf([](QChar c) { return c.isSpace(); }); };
    return withoutBlanks(visibleLines(contentsRect().width()).join(QString())) != withoutBlanks(text());
}

bool LimitedLabel::event(QEvent *event)
{
    // Decided on hover, so neither a new text nor a new width costs anything.
    if (event->type() == QEvent::ToolTip)
        setToolTip(isCut() ? plainToolTip(text()) : QString());
    return QLabel::event(event);
}

void LimitedLabel::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setPen(palette().color(QPalette::WindowText));
    const QRect area = contentsRect();
    int top = area.top();
    for (const QString &line : visibleLines(area.width())) {
        painter.drawText(QRect(area.left(), top, area.width(), fontMetrics().lineSpacing()),
                         Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, line);
        top += fontMetrics().lineSpacing();
    }
}

} // namespace marrowick
