#include "Marrowick/State/AlertCenter.h"

#include <cmath>

namespace marrowick {

QString AlertCenter::bodyText(EventKind kind, std::optional<Instant> downSince, Instant now)
{
    const bool recovered = kind == EventKind::recovered;
    const double elapsed = downSince ? now.sinceReference - downSince->sinceReference : 0;
    // A time that is no real time tells no duration either.
    if (!downSince || !std::isfinite(elapsed))
        return recovered ? QStringLiteral("Recovered") : QStringLiteral("Unreachable");

    // Truncated toward zero; kept as a double so any span prints without overflow.
    const double minutes = std::trunc(elapsed / 60);
    if (minutes < 1)
        return recovered ? QStringLiteral("Back in under a minute") : QStringLiteral("Unreachable for less than a minute");

    const QString duration = minutes == 1 ? QStringLiteral("1 minute")
                                          : QString::number(minutes, 'f', 0) + QStringLiteral(" minutes");
    return (recovered ? QStringLiteral("Back after ") : QStringLiteral("Unreachable for ")) + duration;
}

} // namespace marrowick
