#pragma once

#include <QLabel>
#include <QString>

namespace marrowick {

// A line that warns of something the user should act on (changes that could not be saved):
// plain text, wrapped, caption-sized, in the down status colour as text. Empty until given a text.
QLabel *makeWarningLabel(const QString &objectName, QWidget *parent);

} // namespace marrowick
