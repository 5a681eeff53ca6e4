#include "Marrowick/Style/MarrowickStyle.h"

#include <QCursor>
#include <QEvent>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <QTextDocument>
#include <QTextLayout>
#include <QToolTip>
#include <QVarLengthArray>

#include <cmath>

namespace marrowick {

namespace {

const char accentProperty[] = "marrowickAccent";
const char onAccentProperty[] = "marrowickOnAccent";
const char surfaceProperty[] = "marrowickSurfaceFill";

ColorComponents componentsOrDefault(const QString &hex)
{
    if (const auto components = parseHexColor(hex))
        return *components;
    return *parseHexColor(defaultAccentHex);
}

double linearised(double c)
{
    return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

double luminance(const ColorComponents &c)
{
    return 0.2126 * linearised(c.red) + 0.7152 * linearised(c.green) + 0.0722 * linearised(c.blue);
}

ColorComponents components(const QColor &color)
{
    const QColor rgb = color.toRgb();
    return {rgb.redF(), rgb.greenF(), rgb.blueF()};
}

QColor inkOn(const ColorComponents &fill)
{
    const double lighter = luminance(fill) + 0.05;
    // The dark colour's own relative luminance plus 0.05, to the last bit.
    constexpr double darkLuminance = 0.06169999617330105;
    const double contrastWithWhite = 1.05 / lighter;
    const double contrastWithDark = lighter / darkLuminance;
    return contrastWithWhite <= contrastWithDark ? darkOnAccent() : QColor(Qt::white);
}

QColor withOpacity(QColor color, qreal opacity)
{
    color.setAlphaF(static_cast<float>(opacity));
    return color;
}

QColor inheritedColor(const QWidget *widget, const char *property, const QColor &fallback)
{
    for (const QWidget *w = widget; w; w = w->parentWidget()) {
        const QVariant value = w->property(property);
        if (value.isValid())
            return value.value<QColor>();
    }
    return fallback;
}

QFont calloutFont(const QFont &base, QFont::Weight weight)
{
    QFont font = base;
    if (font.pointSizeF() > 1)
        font.setPointSizeF(font.pointSizeF() - 1);
    font.setWeight(weight);
    return font;
}

qreal labelSymbolSide(const QFontMetricsF &metrics)
{
    return std::round(metrics.height() * 0.75);
}

qreal labelSymbolGap(const QFontMetricsF &metrics)
{
    return std::round(metrics.height() * 0.35);
}

// The label centred in `area`, the symbol (if any) before the text in the same colour.
void paintLabel(QPainter &painter, const QRectF &area, const QString &label, const QFont &font, const QColor &color,
                std::optional<Symbol> symbol)
{
    painter.setFont(font);
    painter.setPen(color);
    if (!symbol) {
        painter.drawText(area, Qt::AlignCenter | Qt::TextSingleLine, label);
        return;
    }
    const QFontMetricsF metrics(font);
    const qreal side = labelSymbolSide(metrics);
    const qreal left = area.center().x() - pillLabelWidth(font, label, symbol) / 2;
    paintSymbol(painter, *symbol, QRectF(left, area.center().y() - side / 2, side, side), color);
    const qreal textLeft = left + side + labelSymbolGap(metrics);
    painter.drawText(QRectF(textLeft, area.top(), area.right() - textLeft, area.height()),
                     Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, label);
}

QPainterPath capsule(const QRectF &rect)
{
    QPainterPath path;
    const qreal radius = rect.height() / 2;
    path.addRoundedRect(rect, radius, radius);
    return path;
}

} // namespace

QColor accentColor(const QString &hex)
{
    const ColorComponents c = componentsOrDefault(hex);
    return QColor::fromRgbF(static_cast<float>(c.red), static_cast<float>(c.green), static_cast<float>(c.blue));
}

QColor darkOnAccent()
{
    return QColor(28, 28, 30);
}

QColor onAccentColor(const QString &hex)
{
    return inkOn(componentsOrDefault(hex));
}

double contrastRatio(const QColor &a, const QColor &b)
{
    const double first = luminance(components(a)) + 0.05;
    const double second = luminance(components(b)) + 0.05;
    return first > second ? first / second : second / first;
}

QColor inkOn(const QColor &fill)
{
    return inkOn(components(fill));
}

QColor composited(const QColor &color, const QColor &background)
{
    const float alpha = color.alphaF();
    const auto mix = [alpha](float top, float bottom) { return top * alpha + bottom * (1 - alpha); };
    return QColor::fromRgbF(mix(color.redF(), background.redF()), mix(color.greenF(), background.greenF()),
                            mix(color.blueF(), background.blueF()));
}

namespace {

// Drawn in 8 bits over translucent layers, a colour lands up to about 1 % off: aim a little
// higher so a ratio holds on screen.
constexpr double onScreenMargin = 0.1;

// Whichever of black and white stands further from `background`: at least 4.58:1 from any
// background, so text and marks alike can reach their ratio moving towards it.
QColor farEnd(const QColor &background)
{
    return contrastRatio(Qt::black, background) >= contrastRatio(Qt::white, background) ? QColor(Qt::black)
                                                                                        : QColor(Qt::white);
}

// `base` moved towards `end` in twentieths, as far as `enough` needs; `end` when no step does.
template<typename Enough>
QColor movedTowards(const QColor &base, const QColor &end, Enough enough)
{
    if (enough(base))
        return base;
    for (int step = 1; step < 20; ++step) {
        QColor tint = end;
        tint.setAlphaF(static_cast<float>(step / 20.0));
        const QColor moved = composited(tint, base);
        if (enough(moved))
            return moved;
    }
    return end;
}

bool carriesText(const QColor &fill)
{
    return contrastRatio(inkOn(components(fill)), fill) >= accentTextContrast + onScreenMargin;
}

} // namespace

QColor accentAgainst(const QColor &accent, const QColor &background, double ratio)
{
    return accentBetween(accent, background, background, ratio);
}

QColor accentBetween(const QColor &accent, const QColor &inside, const QColor &outside, double ratio)
{
    const auto enough = [&](const QColor &mark) {
        return std::min(contrastRatio(mark, inside), contrastRatio(mark, outside)) >= ratio + onScreenMargin;
    };
    const QColor start = composited(accent, outside);
    const QColor moved = movedTowards(start, farEnd(outside), enough);
    // A light field in a dark window (or the reverse) may need the other direction.
    if (enough(moved) || farEnd(inside) == farEnd(outside))
        return moved;
    return movedTowards(start, farEnd(inside), enough);
}

QColor controlEdge(const QColor &text, const QColor &inside, const QColor &outside)
{
    return accentBetween(withOpacity(text, 0.35), inside, outside);
}

QColor accentFillAgainst(const QColor &accent, const QColor &background)
{
    // Moving away from the background the fill keeps its ratio while the ink that suits the
    // far end gains on it, so one direction serves both.
    return movedTowards(composited(accent, background), farEnd(background), [&](const QColor &fill) {
        return contrastRatio(fill, background) >= accentMarkContrast + onScreenMargin && carriesText(fill);
    });
}

QColor accentTextFill(const QColor &accent)
{
    // Away from its ink, which then only gains.
    const QColor away = inkOn(accent) == darkOnAccent() ? QColor(Qt::white) : QColor(Qt::black);
    return movedTowards(accent, away, carriesText);
}

void markSurface(QWidget *widget, qreal fillOpacity)
{
    widget->setProperty(surfaceProperty, fillOpacity);
}

QColor surfaceBehind(const QWidget *widget)
{
    QVarLengthArray<const QWidget *, 8> surfaces;
    for (const QWidget *w = widget; w; w = w->isWindow() ? nullptr : w->parentWidget()) {
        if (w->property(surfaceProperty).isValid())
            surfaces.append(w);
    }
    QColor surface = widget->window()->palette().color(QPalette::Window);
    for (auto it = surfaces.crbegin(); it != surfaces.crend(); ++it)
        surface = composited(withOpacity((*it)->palette().color(QPalette::WindowText),
                                         (*it)->property(surfaceProperty).toReal()),
                             surface);
    return surface;
}

QColor marrowickAccentOn(const QWidget *widget, double ratio, const QColor &layer)
{
    return accentAgainst(marrowickAccent(widget), composited(layer, surfaceBehind(widget)), ratio);
}

QColor marrowickAccentMark(const QWidget *widget)
{
    return marrowickAccentOn(widget, accentMarkContrast);
}

QColor marrowickFocusRing(const QWidget *widget, const QColor &fill)
{
    const QColor surface = surfaceBehind(widget);
    return accentBetween(marrowickAccent(widget), composited(fill, surface), surface);
}

QColor marrowickAccentFill(const QWidget *widget)
{
    return accentFillAgainst(marrowickAccent(widget), surfaceBehind(widget));
}

bool accentSurroundingsChanged(const QEvent *event)
{
    return event->type() == QEvent::PaletteChange || event->type() == QEvent::ParentChange;
}

QList<std::pair<qsizetype, qsizetype>> lineBreaks(const QString &text, const QFont &font, int width)
{
    QTextLayout layout(text, font);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    QList<std::pair<qsizetype, qsizetype>> lines;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        lines.append({line.textStart(), line.textLength()});
    }
    layout.endLayout();
    return lines;
}

QString plainToolTip(const QString &text)
{
    // Qt shows plain text on one line, but wraps one wider than the screen, and text it would
    // read as markup, to a column of a few words. The text is therefore broken into lines of
    // the screen's width here, and text that looks like markup goes as escaped rich text kept
    // to those lines.
    const QScreen *screen = QGuiApplication::screenAt(QCursor::pos());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    // The room the tip's frame and margins take.
    constexpr int toolTipChrome = 16;
    QString shown = text;
    if (screen) {
        const QFont font = QToolTip::font();
        const int room = screen->geometry().width() - toolTipChrome;
        if (QFontMetrics(font).horizontalAdvance(text) >= room) {
            QStringList lines;
            for (const auto &[start, length] : lineBreaks(text, font, room))
                lines.append(text.mid(start, length));
            shown = lines.join(QLatin1Char('\n'));
        }
    }
    if (!Qt::mightBeRichText(text))
        return shown;
    return QStringLiteral("<p style='white-space:pre'>") + shown.toHtmlEscaped() + QStringLiteral("</p>");
}

QColor marrowickAccent(const QWidget *widget)
{
    return inheritedColor(widget, accentProperty, accentColor(defaultAccentHex));
}

QColor marrowickOnAccent(const QWidget *widget)
{
    return inheritedColor(widget, onAccentProperty, onAccentColor(defaultAccentHex));
}

AccentInjector::AccentInjector(QWidget *content, const QString &hex) : QObject(content), m_content(content)
{
    setAccentHex(hex);
}

void AccentInjector::setAccentHex(const QString &hex)
{
    if (m_content)
        apply(m_content, hex);
}

void AccentInjector::apply(QWidget *content, const QString &hex)
{
    const QColor accent = accentColor(hex);
    content->setProperty(accentProperty, accent);
    content->setProperty(onAccentProperty, onAccentColor(hex));
    QPalette palette = content->palette();
    const QColor selection = accentTextFill(accent);
    palette.setColor(QPalette::Highlight, selection);
    palette.setColor(QPalette::HighlightedText, inkOn(selection));
    content->setPalette(palette);
    // Our own painting reads the property, which sends no event: repaint explicitly.
    content->update();
    for (QWidget *child : content->findChildren<QWidget *>())
        child->update();
}

QColor cardFill(const QPalette &palette)
{
    return withOpacity(palette.color(QPalette::WindowText), cardFillOpacity);
}

QColor cardStroke(const QPalette &palette)
{
    return withOpacity(palette.color(QPalette::WindowText), 0.15);
}

void paintCardOutline(QPainter &painter, const QRectF &rect, qreal cornerRadius, const QPalette &palette)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(cardStroke(palette), 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(rect.adjusted(0.5, 0.5, -0.5, -0.5), cornerRadius, cornerRadius);
    painter.restore();
}

qreal pillLabelWidth(const QFont &font, const QString &label, std::optional<Symbol> symbol)
{
    const QFontMetricsF metrics(font);
    const qreal text = metrics.horizontalAdvance(label);
    return symbol ? labelSymbolSide(metrics) + labelSymbolGap(metrics) + text : text;
}

QFont MarrowickProminentPillStyle::font(const QFont &base)
{
    return calloutFont(base, QFont::Bold);
}

void MarrowickProminentPillStyle::paint(QPainter &painter, const QRectF &rect, const QString &label,
                                        const QFont &base, bool pressed, const QColor &accent,
                                        const QColor &onAccent, std::optional<Symbol> symbol)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setOpacity(painter.opacity() * (pressed ? pressedOpacity : 1.0));
    painter.fillPath(capsule(rect), accent);
    paintLabel(painter, rect - padding, label, font(base), onAccent, symbol);
    painter.restore();
}

QFont MarrowickGhostPillStyle::font(const QFont &base)
{
    return calloutFont(base, QFont::DemiBold);
}

QColor MarrowickGhostPillStyle::fill(const QPalette &palette)
{
    return withOpacity(palette.color(QPalette::WindowText), 0.05);
}

void MarrowickGhostPillStyle::paint(QPainter &painter, const QRectF &rect, const QString &label,
                                    const QFont &base, bool pressed, const QPalette &palette,
                                    std::optional<Symbol> symbol)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setOpacity(painter.opacity() * (pressed ? pressedOpacity : 1.0));
    painter.fillPath(capsule(rect), fill(palette));
    painter.strokePath(capsule(rect.adjusted(0.5, 0.5, -0.5, -0.5)), QPen(cardStroke(palette), 1));
    paintLabel(painter, rect - padding, label, font(base), palette.color(QPalette::WindowText), symbol);
    painter.restore();
}

} // namespace marrowick
