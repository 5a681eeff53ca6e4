#include "Marrowick/Style/WarningLabel.h"

#include "Marrowick/Style/StatusOrb.h"
#include "Marrowick/Style/StatusText.h"

namespace marrowick {

QLabel *makeWarningLabel(const QString &objectName, QWidget *parent)
{
    auto *label = new QLabel(parent);
    label->setObjectName(objectName);
    // The texts quote file names and system messages, never markup.
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    QFont caption = label->font();
    caption.setPointSizeF(caption.pointSizeF() * 0.85);
    label->setFont(caption);
    setStatusTextColor(label, statusColor(ServiceStatus::down));
    return label;
}

} // namespace marrowick
