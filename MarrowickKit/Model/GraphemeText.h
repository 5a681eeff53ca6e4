#pragma once

#include <QString>

namespace marrowick {

// The first `count` user-perceived characters (grapheme clusters) of `text`, so a cut never
// splits an accented letter, an emoji or a surrogate pair.
QString firstGraphemes(const QString &text, qsizetype count);

} // namespace marrowick
