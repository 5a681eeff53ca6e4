// Input: a path, a NUL byte, then the document. Without a NUL the whole input is the document
// and a fixed set of paths is tried.
#include "MarrowickKit/Providers/JSONPathEvaluator.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const char *bytes = reinterpret_cast<const char *>(data);
    const void *separator = std::memchr(bytes, 0, size);
    if (!separator) {
        const QByteArray document(bytes, qsizetype(size));
        for (const char *path : {"0", "a", "a.b", "0.0.0", "data.list.1", ""})
            (void)marrowick::JSONPathEvaluator::value(QString::fromLatin1(path), document);
        return 0;
    }
    const auto pathLength = static_cast<const char *>(separator) - bytes;
    const QString path = QString::fromUtf8(bytes, pathLength);
    const QByteArray document(bytes + pathLength + 1, qsizetype(size) - pathLength - 1);
    (void)marrowick::JSONPathEvaluator::value(path, document);
    return 0;
}
