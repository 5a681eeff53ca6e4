#include "Marrowick/State/AlertCenter.h"

#include <cmath>

namespace marrowick {

QString AlertCenter::bodyText(EventKind kind, std::optional<double> downFor)
{
    const bool recovered = kind == EventKind::recovered;
    // A time that is no real time tells no duration either.
    if (!downFor || !std::isfinite(*downFor))
        return recovered ? QStringLiteral("Recovered") : QStringLiteral("Unreachable");
    const double elapsed = *downFor;

    // Truncated toward zero; kept as a double so any span prints without overflow.
    const double minutes = std::trunc(elapsed / 60);
    if (minutes < 1)
        return recovered ? QStringLiteral("Back in under a minute") : QStringLiteral("Unreachable for less than a minute");

    const QString duration = minutes == 1 ? QStringLiteral("1 minute")
                                          : QString::number(minutes, 'f', 0) + QStringLiteral(" minutes");
    return (recovered ? QStringLiteral("Back after ") : QStringLiteral("Unreachable for ")) + duration;
}

} // namespace marrowick
