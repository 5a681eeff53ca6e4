#pragma once

#include <QByteArray>

namespace marrowick::test {

// One gzip member holding `data`, as zlib writes it (RFC 1952).
QByteArray gzipMember(const QByteArray &data);

} // namespace marrowick::test
