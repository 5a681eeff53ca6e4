#pragma once

#include <QStringView>

#include <QtGlobal>

#include <optional>

namespace marrowick {

// A whole decimal integer: an optional "+" or "-", then one or more ASCII digits, nothing else,
// within the signed 64-bit range. Stricter than QString::toLongLong, which takes white space.
std::optional<qint64> parseDecimalInt64(QStringView text);

} // namespace marrowick
