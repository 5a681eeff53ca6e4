#pragma once

#include <QString>
#include <QUuid>

#include <optional>

namespace marrowick {

// The standard 36-character form with upper-case hexadecimal digits: the form every stored
// file and every widget key uses.
QString uuidText(const QUuid &uuid);

// Reads exactly the 8-4-4-4-12 hexadecimal form (either case); braces, spaces or any other
// length give nothing, unlike QUuid::fromString.
std::optional<QUuid> parseUuid(QStringView text);

} // namespace marrowick
