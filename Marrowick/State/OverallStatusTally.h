#pragma once

#include "Marrowick/State/OverallStatus.h"
#include "MarrowickKit/Model/SourceSnapshot.h"

#include <QtGlobal>

namespace marrowick {

// Counts of widgets per status over every source's latest snapshot, and the number of failing
// sources, kept up to date one source at a time, so the overall status costs the same at ten
// sources as at ten thousand. Gives what AppState::computeOverallStatus gives for the same state.
class OverallStatusTally {
public:
    // Takes away what `previous` counted and adds what `current` counts; either may be absent.
    void replaceSnapshot(const SourceSnapshot *previous, const SourceSnapshot *current);
    void setErrorCount(qsizetype count) { m_errors = count; }
    void clear() { *this = OverallStatusTally(); }

    OverallStatus status() const;

private:
    void add(const SourceSnapshot &snapshot, qsizetype sign);

    qsizetype m_down = 0;
    qsizetype m_warn = 0;
    qsizetype m_up = 0;
    qsizetype m_errors = 0;
};

} // namespace marrowick
