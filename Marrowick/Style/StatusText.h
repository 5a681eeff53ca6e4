#pragma once

#include "MarrowickKit/Model/ServiceStatus.h"

#include <QColor>

class QLabel;
class QWidget;

namespace marrowick {

// A status colour (green, red, ...) as the colour of text: moved only as far as
// accentTextContrast needs against the surface behind `widget`, or against `layer` (a tint the
// widget paints first) laid over that surface. Orbs and fills keep the vivid colour.
QColor statusTextColor(const QWidget *widget, const QColor &status, const QColor &layer = Qt::transparent);

// Writes `widget`'s text (a label, or a box whose label and symbol follow its palette) in
// statusTextColor of `status`, again whenever its theme or its place changes. An invalid colour
// stops that; the caller then gives the widget its colour.
void setStatusTextColor(QWidget *widget, const QColor &status);

// Shows `status` on `label` in its word and in its colour as text while it is not up; hides
// the label while up, when the orb beside it says enough.
void showStatusWord(QLabel *label, ServiceStatus status);

} // namespace marrowick
