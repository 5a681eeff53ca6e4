#include "Marrowick/State/HexColor.h"

namespace marrowick {

namespace {

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

} // namespace marrowick
