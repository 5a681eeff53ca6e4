#pragma once

#include <QObject>
#include <QPoint>
#include <QRect>
#include <QSize>

#include <optional>

class QWidget;

namespace marrowick {

// What the popup is placed against: the tray icon's geometry when the tray tells it, else the
// cursor, within the available area of their screen.
struct PopupAnchor {
    QRect iconGeometry;
    QPoint cursor;
    QRect screenArea;
};

// Where the popup's top-left corner goes: centred under the tray icon (above it when the icon
// sits in the lower half of the screen, as on a bottom panel, so its bottom edge stays beside
// the icon whatever its height), else beside the cursor; always kept within the screen area.
QPoint popupPosition(QSize popup, const PopupAnchor &anchor);
// The most height a popup may take in the area, with its gap to the panel on either side.
int popupHeightLimit(const QRect &screenArea);

// Keeps a popup beside its anchor: placed when it opens, and moved whenever its size changes
// while open (a source that goes down adds a line), so it never covers the panel or leaves
// the screen.
class PopupPlacer : public QObject {
    Q_OBJECT

public:
    explicit PopupPlacer(QWidget *popup);

    // Moves the popup now and after each change of its size, until placed again.
    void place(const PopupAnchor &anchor);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void moveFor(QSize size);

    QWidget *m_popup;
    std::optional<PopupAnchor> m_anchor;
};

} // namespace marrowick
