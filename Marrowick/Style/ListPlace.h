#pragma once

#include <QKeySequence>
#include <QString>

namespace marrowick {

// Alt+Up and Alt+Down move an entry of a list (a source's card, a source's widget) one place.
// The focus stays on the entry, so a screen reader learns its new place from the entry's
// description, which says it.
namespace ListPlace {

inline const QKeySequence moveUp{QKeyCombination(Qt::AltModifier, Qt::Key_Up)};
inline const QKeySequence moveDown{QKeyCombination(Qt::AltModifier, Qt::Key_Down)};

// "Position 2 of 5" for the entry at `index` (from 0) of `count`.
QString description(qsizetype index, qsizetype count);

} // namespace ListPlace

} // namespace marrowick
