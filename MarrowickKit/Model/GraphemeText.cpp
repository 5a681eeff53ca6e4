#include "MarrowickKit/Model/GraphemeText.h"

#include <QTextBoundaryFinder>

namespace marrowick {

QString firstGraphemes(const QString &text, qsizetype count)
{
    if (text.size() <= count)
        return text; // a cluster holds at least one UTF-16 unit
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype clusters = 0;
    while (clusters < count) {
        if (finder.toNextBoundary() < 0)
            return text;
        ++clusters;
    }
    return text.left(finder.position());
}

} // namespace marrowick
