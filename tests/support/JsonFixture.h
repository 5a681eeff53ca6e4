#pragma once

#include <QByteArray>

namespace marrowick::test {

// JSON written with single quotes, so fixtures need neither escaping nor raw strings (which
// moc cannot read when their braces are unbalanced).
inline QByteArray json(const char *text)
{
    return QByteArray(text).replace('\'', '"');
}

} // namespace marrowick::test
