#pragma once

#include <QByteArray>
#include <QJsonValue>
#include <QString>

#include <stdexcept>

namespace marrowick {

// A value that JSON cannot express, such as a NaN or infinite number.
class JsonEncodeError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

enum class JsonStyle { compact, pretty };

// Writes the bytes of the system's own JSON files: members sorted by name at every level, "/"
// escaped as "\/", whole doubles without a fraction, other doubles in their shortest form that
// reads back equal. Pretty output indents by two spaces and separates keys with " : ".
// Throws JsonEncodeError for a non-finite number instead of writing null.
QByteArray writeJson(const QJsonValue &value, JsonStyle style);

} // namespace marrowick
