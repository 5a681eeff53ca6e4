#include "Marrowick/Style/MarrowickStyle.h"

#include "Marrowick/App/AppSettings.h"

#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace marrowick {

namespace {

const char accentProperty[] = "marrowickAccent";
const char onAccentProperty[] = "marrowickOnAccent";

bool isHorizontalSpace(QChar c)
{
    return c == u'\t' || c.category() == QChar::Separator_Space;
}

int hexDigit(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= '0' && u <= '9')
        return u - '0';
    if (u >= 'a' && u <= 'f')
        return u - 'a' + 10;
    if (u >= 'A' && u <= 'F')
        return u - 'A' + 10;
    return -1;
}

// Unsigned base-16 with an optional sign, as the standard integer parser reads it: "-" is
// only valid when the value is zero. Hand-written because QString::toUInt accepts "0x" and
// surrounding white space.
std::optional<quint32> parseUnsignedHex(QStringView text)
{
    bool negative = false;
    if (!text.isEmpty() && (text.front() == u'+' || text.front() == u'-')) {
        negative = text.front() == u'-';
        text = text.mid(1);
    }
    if (text.isEmpty())
        return std::nullopt;
    quint64 value = 0;
    for (const QChar c : text) {
        const int digit = hexDigit(c);
        if (digit < 0)
            return std::nullopt;
        value = value * 16 + static_cast<quint64>(digit);
        if (value > 0xFFFFFFFFu)
            return std::nullopt;
    }
    if (negative && value != 0)
        return std::nullopt;
    return static_cast<quint32>(value);
}

ColorComponents componentsOrDefault(const QString &hex)
{
    if (const auto components = parseHexColor(hex))
        return *components;
    return *parseHexColor(AppSettings::defaultAccentHex);
}

double linearised(double c)
{
    return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
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

QPainterPath capsule(const QRectF &rect)
{
    QPainterPath path;
    const qreal radius = rect.height() / 2;
    path.addRoundedRect(rect, radius, radius);
    return path;
}

} // namespace

std::optional<ColorComponents> parseHexColor(const QString &text)
{
    QStringView rest(text);
    while (!rest.isEmpty() && isHorizontalSpace(rest.front()))
        rest = rest.mid(1);
    while (!rest.isEmpty() && isHorizontalSpace(rest.back()))
        rest.chop(1);
    if (rest.startsWith(u'#'))
        rest = rest.mid(1);
    if (rest.size() != 6)
        return std::nullopt;
    const std::optional<quint32> value = parseUnsignedHex(rest);
    if (!value)
        return std::nullopt;
    return ColorComponents{((*value >> 16) & 0xFF) / 255.0, ((*value >> 8) & 0xFF) / 255.0,
                           (*value & 0xFF) / 255.0};
}

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
    const ColorComponents c = componentsOrDefault(hex);
    const double luminance =
        0.2126 * linearised(c.red) + 0.7152 * linearised(c.green) + 0.0722 * linearised(c.blue);
    const double lighter = luminance + 0.05;
    // The dark colour's own relative luminance plus 0.05, to the last bit.
    constexpr double darkLuminance = 0.06169999617330105;
    const double contrastWithWhite = 1.05 / lighter;
    const double contrastWithDark = lighter / darkLuminance;
    return contrastWithWhite <= contrastWithDark ? darkOnAccent() : QColor(Qt::white);
}

QColor marrowickAccent(const QWidget *widget)
{
    return inheritedColor(widget, accentProperty, accentColor(AppSettings::defaultAccentHex));
}

QColor marrowickOnAccent(const QWidget *widget)
{
    return inheritedColor(widget, onAccentProperty, onAccentColor(AppSettings::defaultAccentHex));
}

AccentInjector::AccentInjector(QWidget *content, AppSettings *settings)
    : QObject(content), m_content(content), m_settings(settings)
{
    refresh();
    connect(settings, &AppSettings::changed, this, [this](const QString &key) {
        if (key == SettingsKey::accentHex)
            refresh();
    });
}

void AccentInjector::refresh()
{
    if (m_content && m_settings)
        apply(m_content, m_settings->accentHex());
}

void AccentInjector::apply(QWidget *content, const QString &hex)
{
    const QColor accent = accentColor(hex);
    const QColor onAccent = onAccentColor(hex);
    content->setProperty(accentProperty, accent);
    content->setProperty(onAccentProperty, onAccent);
    QPalette palette = content->palette();
    palette.setColor(QPalette::Highlight, accent);
    palette.setColor(QPalette::HighlightedText, onAccent);
    content->setPalette(palette);
    // Our own painting reads the property, which sends no event: repaint explicitly.
    content->update();
    for (QWidget *child : content->findChildren<QWidget *>())
        child->update();
}

QColor cardFill(const QPalette &palette)
{
    return withOpacity(palette.color(QPalette::WindowText), 0.04);
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

QFont MarrowickProminentPillStyle::font(const QFont &base)
{
    return calloutFont(base, QFont::Bold);
}

void MarrowickProminentPillStyle::paint(QPainter &painter, const QRectF &rect, const QString &label,
                                        const QFont &base, bool pressed, const QColor &accent,
                                        const QColor &onAccent)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setOpacity(painter.opacity() * (pressed ? pressedOpacity : 1.0));
    painter.fillPath(capsule(rect), accent);
    painter.setFont(font(base));
    painter.setPen(onAccent);
    painter.drawText(rect - padding, Qt::AlignCenter | Qt::TextSingleLine, label);
    painter.restore();
}

QFont MarrowickGhostPillStyle::font(const QFont &base)
{
    return calloutFont(base, QFont::DemiBold);
}

void MarrowickGhostPillStyle::paint(QPainter &painter, const QRectF &rect, const QString &label,
                                    const QFont &base, bool pressed, const QPalette &palette)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setOpacity(painter.opacity() * (pressed ? pressedOpacity : 1.0));
    painter.fillPath(capsule(rect), withOpacity(palette.color(QPalette::WindowText), 0.05));
    painter.strokePath(capsule(rect.adjusted(0.5, 0.5, -0.5, -0.5)), QPen(cardStroke(palette), 1));
    painter.setFont(font(base));
    painter.setPen(palette.color(QPalette::WindowText));
    painter.drawText(rect - padding, Qt::AlignCenter | Qt::TextSingleLine, label);
    painter.restore();
}

} // namespace marrowick
