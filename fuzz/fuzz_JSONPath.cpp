// Input: a path, a NUL byte, then the document. Without a NUL the whole input is the document:
// a fixed set of paths is tried, and every member of its root is picked by its own key or index
// and must render as the evaluator promises (texts unchanged, numbers in a form that reads back
// as the same number, whole ones without a fraction).
#include "MarrowickKit/Providers/JSONPathEvaluator.h"

#include <QJsonArray>
#include <QJsonObject>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

using namespace marrowick;

namespace {

bool isPlainInteger(const QString &text)
{
    const QStringView digits = QStringView(text).sliced(text.startsWith(u'-') ? 1 : 0);
    return !digits.isEmpty() && std::all_of(digits.begin(), digits.end(), [](QChar c) { return c.isDigit(); });
}

void checkNumber(const QString &text, double number)
{
    bool ok = false;
    if (text.toDouble(&ok) != number || !ok)
        std::abort();
    if (number == std::trunc(number) && std::fabs(number) <= 9007199254740992.0 && !isPlainInteger(text))
        std::abort();
}

void checkMember(const QJsonValue &root, const QString &step, const QJsonValue &member)
{
    const auto text = JSONPathEvaluator::value(step, root);
    switch (member.type()) {
    case QJsonValue::String:
        if (text != member.toString())
            std::abort();
        break;
    case QJsonValue::Bool:
        if (text != (member.toBool() ? u"true" : u"false"))
            std::abort();
        break;
    case QJsonValue::Double:
        if (!text)
            std::abort();
        checkNumber(*text, member.toDouble());
        break;
    default:
        if (text)
            std::abort();
    }
}

void checkRoot(const QJsonValue &root)
{
    if (root.isArray()) {
        const QJsonArray array = root.toArray();
        for (qsizetype i = 0; i < array.size(); ++i)
            checkMember(root, QString::number(i), array.at(i));
        return;
    }
    const QJsonObject object = root.toObject();
    for (auto it = object.begin(); it != object.end(); ++it) {
        // A key with a dot or an empty one cannot be named by a path.
        if (!it.key().isEmpty() && !it.key().contains(u'.'))
            checkMember(root, it.key(), it.value());
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const char *bytes = reinterpret_cast<const char *>(data);
    const void *separator = std::memchr(bytes, 0, size);
    if (!separator) {
        const QByteArray document(bytes, qsizetype(size));
        for (const char *path : {"0", "a", "a.b", "0.0.0", "data.list.1", ""})
            (void)JSONPathEvaluator::value(QString::fromLatin1(path), document);
        checkRoot(JSONPathEvaluator::parseDocument(document));
        return 0;
    }
    const auto pathLength = static_cast<const char *>(separator) - bytes;
    const QString path = QString::fromUtf8(bytes, pathLength);
    const QByteArray document(bytes + pathLength + 1, qsizetype(size) - pathLength - 1);
    (void)JSONPathEvaluator::value(path, document);
    return 0;
}
