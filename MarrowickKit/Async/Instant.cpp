#include "MarrowickKit/Async/Instant.h"

#include <chrono>
#include <cmath>

namespace marrowick {

Instant Instant::now()
{
    using namespace std::chrono;
    const auto micros = duration_cast<microseconds>(system_clock::now().time_since_epoch()).count();
    return fromUnix(static_cast<double>(micros) / 1e6);
}

Instant Instant::fromDateTime(const QDateTime &dateTime)
{
    return fromUnix(static_cast<double>(dateTime.toMSecsSinceEpoch()) / 1000.0);
}

QDateTime Instant::toDateTime() const
{
    return QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(std::llround(unix() * 1000.0)), Qt::UTC);
}

} // namespace marrowick
