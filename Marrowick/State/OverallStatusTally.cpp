#include "Marrowick/State/OverallStatusTally.h"

#include "Marrowick/State/AppState.h"

namespace marrowick {

void OverallStatusTally::replaceSnapshot(const SourceSnapshot *previous, const SourceSnapshot *current)
{
    if (previous)
        add(*previous, -1);
    if (current)
        add(*current, 1);
}

void OverallStatusTally::add(const SourceSnapshot &snapshot, qsizetype sign)
{
    for (const WidgetData &widget : snapshot.widgets) {
        switch (AppState::historyStatus(widget)) {
        case ServiceStatus::down:
            m_down += sign;
            break;
        case ServiceStatus::warn:
            m_warn += sign;
            break;
        case ServiceStatus::up:
            m_up += sign;
            break;
        case ServiceStatus::unknown:
            break;
        }
    }
}

OverallStatus OverallStatusTally::status() const
{
    if (m_down > 0)
        return OverallStatus::down;
    if (m_errors > 0 || m_warn > 0)
        return OverallStatus::degraded;
    return m_up > 0 ? OverallStatus::up : OverallStatus::unknown;
}

} // namespace marrowick
