#include "Marrowick/State/ProcessActivity.h"

namespace marrowick {

void ProcessActivity::begin(const QString &reason)
{
    m_held = true;
    m_reason = reason;
    ++m_beginCount;
}

void ProcessActivity::end()
{
    m_held = false;
    m_reason.clear();
}

} // namespace marrowick
