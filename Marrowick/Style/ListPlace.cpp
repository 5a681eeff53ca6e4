#include "Marrowick/Style/ListPlace.h"

#include <QLocale>

namespace marrowick::ListPlace {

QString description(qsizetype index, qsizetype count)
{
    const QLocale locale;
    return QStringLiteral("Position %1 of %2").arg(locale.toString(index + 1), locale.toString(count));
}

} // namespace marrowick::ListPlace
