#include "Marrowick/State/SaveFailure.h"

#include <QtDebug>

namespace marrowick {

bool SaveFailure::record(const QString &reason)
{
    if (reason == m_reason)
        return false;
    m_reason = reason;
    if (!reason.isEmpty())
        qWarning().noquote() << QStringLiteral("The %1 could not be saved: %2").arg(m_what, reason);
    return true;
}

QString SaveFailure::text() const
{
    if (m_reason.isEmpty())
        return QString();
    return QStringLiteral("Your %1 could not be saved (%2). Marrowick keeps your changes while it runs and tries "
                          "again, also when it quits.")
        .arg(m_what, m_reason);
}

} // namespace marrowick
