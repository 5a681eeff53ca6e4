#include "MarrowickKit/Model/StrictUtf8.h"

#include <QStringDecoder>

namespace marrowick {

std::optional<QString> decodeStrictUtf8(QByteArrayView bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder.decode(bytes);
    if (decoder.hasError())
        return std::nullopt;
    return text;
}

bool isStrictUtf8(QByteArrayView bytes)
{
    // The same rules as the decoder's: overlong forms, surrogates and code points past
    // U+10FFFF are errors, as are cut sequences.
    return bytes.isValidUtf8();
}

} // namespace marrowick
