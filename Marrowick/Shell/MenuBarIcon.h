#pragma once

#include "Marrowick/State/OverallStatus.h"

#include <QColor>
#include <QIcon>
#include <QImage>
#include <QPainterPath>
#include <QRectF>

#include <array>

namespace marrowick {

// The tray icon: a server-rack symbol with a coloured dot beside it that tells the overall
// state. The rack is edged in the opposite lightness, so it shows on light and dark panels.
// A plain value; the tray builds a new one whenever the status changes.
class MenuBarIcon {
public:
    // The sizes offered to trays that take a list, in device pixels; the icon itself is drawn
    // at whatever size it is painted or asked for, so it stays crisp at every scale.
    static constexpr std::array<int, 4> traySizes{16, 22, 32, 44};

    explicit MenuBarIcon(OverallStatus status, QColor symbolColor = defaultSymbolColor());

    OverallStatus status() const { return m_status; }

    QImage image(int pixels) const;
    QIcon icon() const;

    // Where the dot sits in an image of `pixels` square.
    static QRectF dotRect(int pixels);
    // The text colour of the application palette: trays follow the desktop's theme.
    static QColor defaultSymbolColor();

private:
    static QPainterPath rackPath(int pixels);
    void paintRack(QPainter &painter, int pixels) const;

    OverallStatus m_status;
    QColor m_symbolColor;
};

} // namespace marrowick
