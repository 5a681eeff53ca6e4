#pragma once

#include <QByteArray>
#include <QJsonValue>
#include <QString>

#include <optional>

namespace marrowick {

// Picks one value out of a JSON document by a dotted path ("data.list.1") and renders it as
// display text. Empty steps are ignored; a step is tried as an object key first and as an array
// index second. Texts come back unchanged, Booleans as "true"/"false", numbers in their plain
// form; null, objects, arrays, missing members and unreadable documents give nothing.
namespace JSONPathEvaluator {

std::optional<QString> value(const QString &path, const QByteArray &data);
// The same over a document already parsed, so several paths can share one parse. Only an
// object or an array can be a root; anything else gives nothing.
std::optional<QString> value(const QString &path, const QJsonValue &root);

// The document as the evaluator reads it: its root object or array, or undefined when the
// bytes are not JSON or hold a scalar at the top.
QJsonValue parseDocument(const QByteArray &data);

} // namespace JSONPathEvaluator

} // namespace marrowick
