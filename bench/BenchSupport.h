#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

namespace marrowick::bench {

// The process's peak resident size as the kernel reports it ("VmHWM"), e.g. "41520 kB".
inline QString peakMemory()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return QStringLiteral("unknown");
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return QString::fromLatin1(line.mid(6).trimmed());
    }
    return QStringLiteral("unknown");
}

} // namespace marrowick::bench
