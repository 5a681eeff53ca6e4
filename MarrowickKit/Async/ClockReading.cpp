#include "MarrowickKit/Async/ClockReading.h"

#include <QFile>

namespace marrowick {

BootClock BootClock::system()
{
    // A new random id at every boot; nothing to read outside Linux.
    QFile id(QStringLiteral("/proc/sys/kernel/random/boot_id"));
    QString bootID;
    if (id.open(QIODevice::ReadOnly))
        bootID = QString::fromLatin1(id.read(64)).trimmed();
    return BootClock{&bootTimeSeconds, bootID};
}

ClockReading ClockReading::now(const std::function<Instant()> &wallClock, const BootClock &bootClock)
{
    return ClockReading{wallClock(), bootClock.seconds()};
}

double ClockReading::secondsBetween(const ClockReading &from, const ClockReading &to)
{
    if (from.boot && to.boot)
        return *to.boot - *from.boot;
    return to.wall.sinceReference - from.wall.sinceReference;
}

} // namespace marrowick
