#pragma once

#include "MarrowickKit/Async/Instant.h"
#include "MarrowickKit/Model/WidgetData.h"

#include <QList>
#include <QUuid>

namespace marrowick {

// The widgets of one successful poll. Never stored.
struct SourceSnapshot {
    QUuid sourceID;
    Instant fetchedAt;
    QList<WidgetData> widgets;

    bool operator==(const SourceSnapshot &) const = default;
};

} // namespace marrowick
