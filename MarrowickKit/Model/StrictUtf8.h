#pragma once

#include <QByteArrayView>
#include <QString>

#include <optional>

namespace marrowick {

// The text of `bytes` when they are valid UTF-8; nothing otherwise. Replies from peers are
// decoded this way so a malformed name is rejected instead of silently repaired.
std::optional<QString> decodeStrictUtf8(QByteArrayView bytes);

// Whether decodeStrictUtf8() would give a text, without making it: a large file is checked
// without a copy twice its size.
bool isStrictUtf8(QByteArrayView bytes);

} // namespace marrowick
