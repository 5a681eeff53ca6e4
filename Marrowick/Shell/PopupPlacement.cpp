#include "Marrowick/Shell/PopupPlacement.h"

#include "Marrowick/Style/WindowFit.h"

#include <QResizeEvent>
#include <QWidget>

namespace marrowick {

namespace {

constexpr int gap = 4;

} // namespace

QPoint popupPosition(QSize popup, const PopupAnchor &anchor)
{
    const QRect &icon = anchor.iconGeometry;
    const QRect &area = anchor.screenArea;
    const QRect target = icon.isValid() && !icon.isEmpty() ? icon : QRect(anchor.cursor, QSize(1, 1));
    const bool opensDownward = target.center().y() < area.center().y();
    const int x = target.center().x() - popup.width() / 2;
    const int y = opensDownward ? target.bottom() + 1 + gap : target.top() - gap - popup.height();
    return keptInside(QRect(QPoint(x, y), popup), area);
}

int popupHeightLimit(const QRect &screenArea)
{
    return screenArea.height() - 2 * gap;
}

PopupPlacer::PopupPlacer(QWidget *popup) : QObject(popup), m_popup(popup)
{
    popup->installEventFilter(this);
}

void PopupPlacer::place(const PopupAnchor &anchor)
{
    m_anchor = anchor;
    moveFor(m_popup->size());
}

bool PopupPlacer::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_popup && event->type() == QEvent::Resize)
        moveFor(static_cast<QResizeEvent *>(event)->size());
    return QObject::eventFilter(watched, event);
}

void PopupPlacer::moveFor(QSize size)
{
    if (!m_anchor)
        return;
    const QPoint position = popupPosition(size, *m_anchor);
    if (m_popup->pos() != position)
        m_popup->move(position);
}

} // namespace marrowick
