#pragma once

#include "Marrowick/Popover/RowChrome.h"
#include "MarrowickKit/Model/ServiceStatus.h"

#include <QAbstractButton>

#include <functional>
#include <optional>

class QLabel;

namespace marrowick {

class CountBadge;
class LatencyPill;
class LimitedLabel;
class StatusOrb;
class SymbolView;

// The head of a source with several widgets; a click folds or unfolds the group. To assistive
// technology it is one disclosure button, expanded while the group is unfolded.
class SourceGroupHeaderRowView : public QAbstractButton {
    Q_OBJECT

public:
    struct Values {
        QString displayName;
        qsizetype count = 0;
        QString aggregate;
        std::optional<double> avgLatencyMs;
        ServiceStatus status = ServiceStatus::unknown;
        bool collapsed = false;
    };

    SourceGroupHeaderRowView(const Values &values, std::function<void()> toggle, const RowSettings &settings,
                             QWidget *parent = nullptr);

    void set(const Values &values, const RowSettings &settings);

    // "<name>, <count> widgets, <aggregate>", then ", average 42ms" when there is a latency.
    static QString accessibilityLabel(const Values &values);

protected:
    bool event(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    StatusOrb *m_orb;
    LimitedLabel *m_name;
    CountBadge *m_badge;
    QLabel *m_aggregate;
    LatencyPill *m_pill;
    SymbolView *m_chevron;
};

} // namespace marrowick
