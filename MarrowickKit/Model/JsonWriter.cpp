#include "MarrowickKit/Model/JsonWriter.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QStringList>
#include <QVariant>

#include <algorithm>
#include <charconv>
#include <cmath>

namespace marrowick {

namespace {

class Writer {
public:
    explicit Writer(JsonStyle style) : m_pretty(style == JsonStyle::pretty) {}

    void value(const QJsonValue &value, int depth)
    {
        switch (value.type()) {
        case QJsonValue::Null:
        case QJsonValue::Undefined:
            m_out += "null";
            break;
        case QJsonValue::Bool:
            m_out += value.toBool() ? "true" : "false";
            break;
        case QJsonValue::Double:
            number(value);
            break;
        case QJsonValue::String:
            string(value.toString());
            break;
        case QJsonValue::Array:
            array(value.toArray(), depth);
            break;
        case QJsonValue::Object:
            object(value.toObject(), depth);
            break;
        }
    }

    QByteArray take() { return std::move(m_out); }

private:
    void number(const QJsonValue &value)
    {
        // Integers keep all 64 bits; only values that really are doubles go through double.
        const QVariant variant = value.toVariant();
        if (variant.typeId() == QMetaType::LongLong) {
            m_out += QByteArray::number(variant.toLongLong());
            return;
        }
        const double number = value.toDouble();
        if (!std::isfinite(number))
            throw JsonEncodeError("Unable to encode a non-finite number as JSON");
        if (number == std::trunc(number) && std::fabs(number) < 1e15) {
            m_out += QByteArray::number(static_cast<qint64>(number));
            return;
        }
        char buffer[64];
        const auto result = std::to_chars(buffer, buffer + sizeof buffer, number);
        m_out.append(buffer, result.ptr - buffer);
    }

    void string(const QString &text)
    {
        m_out += '"';
        qsizetype plainStart = 0;
        const auto flushPlain = [&](qsizetype upTo) {
            if (upTo > plainStart)
                m_out += QStringView(text).mid(plainStart, upTo - plainStart).toUtf8();
        };
        for (qsizetype i = 0; i < text.size(); ++i) {
            const char16_t u = text.at(i).unicode();
            const char *escape = nullptr;
            switch (u) {
            case '"': escape = "\\\""; break;
            case '\\': escape = "\\\\"; break;
            case '/': escape = "\\/"; break;
            case '\b': escape = "\\b"; break;
            case '\f': escape = "\\f"; break;
            case '\n': escape = "\\n"; break;
            case '\r': escape = "\\r"; break;
            case '\t': escape = "\\t"; break;
            default: break;
            }
            if (QChar::isHighSurrogate(u) && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
                ++i; // a whole pair is written as the character's UTF-8
                continue;
            }
            // A lone surrogate has no UTF-8 form; its escape reads back as the same code unit,
            // so two keys that differ only there stay two keys.
            if (!escape && u >= 0x20 && !QChar::isSurrogate(u))
                continue;
            flushPlain(i);
            plainStart = i + 1;
            if (escape) {
                m_out += escape;
            } else {
                m_out += "\\u";
                for (int shift = 12; shift >= 0; shift -= 4)
                    m_out += "0123456789abcdef"[(u >> shift) & 0xF];
            }
        }
        flushPlain(text.size());
        m_out += '"';
    }

    void array(const QJsonArray &array, int depth)
    {
        if (array.isEmpty()) {
            m_out += "[]";
            return;
        }
        m_out += '[';
        bool first = true;
        for (const auto &element : array) {
            separator(first, depth + 1);
            value(element, depth + 1);
        }
        closing(depth);
        m_out += ']';
    }

    void object(const QJsonObject &object, int depth)
    {
        if (object.isEmpty()) {
            m_out += "{}";
            return;
        }
        QStringList keys = object.keys();
        std::sort(keys.begin(), keys.end());
        m_out += '{';
        bool first = true;
        for (const auto &key : keys) {
            separator(first, depth + 1);
            string(key);
            m_out += m_pretty ? " : " : ":";
            value(object.value(key), depth + 1);
        }
        closing(depth);
        m_out += '}';
    }

    void separator(bool &first, int depth)
    {
        if (!first)
            m_out += ',';
        first = false;
        if (m_pretty) {
            m_out += '\n';
            m_out += QByteArray(depth * 2, ' ');
        }
    }

    void closing(int depth)
    {
        if (m_pretty) {
            m_out += '\n';
            m_out += QByteArray(depth * 2, ' ');
        }
    }

    bool m_pretty;
    QByteArray m_out;
};

} // namespace

QByteArray writeJson(const QJsonValue &value, JsonStyle style)
{
    Writer writer(style);
    writer.value(value, 0);
    return writer.take();
}

} // namespace marrowick
