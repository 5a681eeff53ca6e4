#pragma once

#include "MarrowickKit/Instant.h"
#include "MarrowickKit/WidgetData.h"

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
