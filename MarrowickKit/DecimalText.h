#pragma once

#include <QStringView>

#include <optional>

namespace marrowick {

// A whole text that is a decimal integer: an optional "+" or "-", then one or more ASCII
// digits, within the signed 64-bit range. Anything else (blanks, other digits, "0x") is
// nothing. Peers' numbers go through here because Qt's parsers accept more than that.
std::optional<qint64> parseDecimalInteger(QStringView text);

} // namespace marrowick
