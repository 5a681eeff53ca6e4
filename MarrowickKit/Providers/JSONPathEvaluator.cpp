#include "MarrowickKit/Providers/JSONPathEvaluator.h"

#include "MarrowickKit/Model/DecimalText.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QLocale>
#include <QVariant>

#include <cmath>

namespace marrowick::JSONPathEvaluator {

namespace {

std::optional<QJsonValue> child(const QJsonValue &current, QStringView step)
{
    if (current.isObject()) {
        const QJsonObject object = current.toObject();
        const auto member = object.constFind(step);
        if (member != object.constEnd())
            return *member;
        return std::nullopt;
    }
    if (current.isArray()) {
        const QJsonArray array = current.toArray();
        const auto position = parseDecimalInt64(step);
        if (!position || *position < 0 || *position >= array.size())
            return std::nullopt;
        return array.at(*position);
    }
    return std::nullopt;
}

QString numberText(const QJsonValue &number)
{
    const QVariant variant = number.toVariant();
    if (variant.typeId() == QMetaType::LongLong)
        return QString::number(variant.toLongLong());
    const double value = number.toDouble();
    // Whole numbers that a double holds exactly print without a fraction.
    constexpr double exactLimit = 9007199254740992.0; // 2^53
    if (std::isfinite(value) && value == std::trunc(value) && std::fabs(value) <= exactLimit)
        return QString::number(qint64(value));
    return QString::number(value, 'g', QLocale::FloatingPointShortest);
}

std::optional<QString> rendered(const QJsonValue &leaf)
{
    switch (leaf.type()) {
    case QJsonValue::String: return leaf.toString();
    case QJsonValue::Bool: return leaf.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    case QJsonValue::Double: return numberText(leaf);
    default: return std::nullopt;
    }
}

} // namespace

QJsonValue parseDocument(const QByteArray &data)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(data, &error);
    if (error.error != QJsonParseError::NoError)
        return QJsonValue(QJsonValue::Undefined);
    if (document.isObject())
        return document.object();
    if (document.isArray())
        return document.array();
    return QJsonValue(QJsonValue::Undefined);
}

std::optional<QString> value(const QString &path, const QJsonValue &root)
{
    if (!root.isObject() && !root.isArray())
        return std::nullopt;
    QJsonValue current = root;
    for (const QStringView step : QStringView(path).tokenize(u'.', Qt::SkipEmptyParts)) {
        auto next = child(current, step);
        if (!next)
            return std::nullopt;
        current = std::move(*next);
    }
    return rendered(current);
}

std::optional<QString> value(const QString &path, const QByteArray &data)
{
    return value(path, parseDocument(data));
}

} // namespace marrowick::JSONPathEvaluator
