#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

namespace marrowick::bench {

// A line of the process's status as the kernel reports it, e.g. "41520 kB" for "VmHWM".
inline QString memoryLine(const QByteArray &name)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return QStringLiteral("unknown");
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(name + ':'))
            return QString::fromLatin1(line.mid(name.size() + 1).trimmed());
    }
    return QStringLiteral("unknown");
}

// The peak resident size.
inline QString peakMemory()
{
    return memoryLine("VmHWM");
}

// The resident size now.
inline QString residentMemory()
{
    return memoryLine("VmRSS");
}

} // namespace marrowick::bench
