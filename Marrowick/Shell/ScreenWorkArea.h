#pragma once

#include <QRect>

class QScreen;

namespace marrowick {

// The part of `screen` that the desktop's panels leave free, for windows that place themselves
// (the popup). Qt's available geometry, except on X11 with more than one monitor: there Qt
// reports each monitor whole, since the window manager's work area spans all of them, so the
// strips that panels reserve (and the per-monitor work areas some window managers publish) are
// read from the X server instead.
QRect screenWorkArea(const QScreen *screen);

} // namespace marrowick
