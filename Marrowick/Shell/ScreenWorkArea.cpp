#include "Marrowick/Shell/ScreenWorkArea.h"

#include "Marrowick/Shell/X11Connection.h"

#include <QGuiApplication>
#include <QList>
#include <QScreen>

#if defined(MARROWICK_WITH_XCB) && QT_CONFIG(xcb)
#define MARROWICK_X11_WORK_AREA 1
#include <xcb/xcb.h>

#include <cmath>
#include <cstdlib>
#include <memory>
#include <optional>
#endif

namespace marrowick {

namespace {

#if MARROWICK_X11_WORK_AREA

template<typename Reply>
using ReplyPointer = std::unique_ptr<Reply, decltype(&std::free)>;

xcb_atom_t existingAtom(xcb_connection_t *connection, const QByteArray &name)
{
    const xcb_intern_atom_cookie_t cookie = xcb_intern_atom(connection, true, quint16(name.size()), name.constData());
    ReplyPointer<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(connection, cookie, nullptr), &std::free);
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

// The 32-bit values of `property` on each of `windows`, asked for all at once; none for a
// window without it (or gone meanwhile), none at all where no window has it.
QList<QList<quint32>> cardinals(xcb_connection_t *connection, const QList<xcb_window_t> &windows, xcb_atom_t property)
{
    QList<QList<quint32>> values(windows.size());
    if (property == XCB_ATOM_NONE)
        return values;
    QList<xcb_get_property_cookie_t> cookies;
    // Strips, client lists and work areas are short; 4096 values is far beyond any of them.
    for (const xcb_window_t window : windows)
        cookies.append(xcb_get_property(connection, false, window, property, XCB_GET_PROPERTY_TYPE_ANY, 0, 4096));
    for (qsizetype i = 0; i < cookies.size(); ++i) {
        ReplyPointer<xcb_get_property_reply_t> reply(xcb_get_property_reply(connection, cookies.at(i), nullptr),
                                                     &std::free);
        if (!reply || reply->format != 32)
            continue;
        const auto *data = static_cast<const quint32 *>(xcb_get_property_value(reply.get()));
        values[i] = QList<quint32>(data, data + xcb_get_property_value_length(reply.get()) / 4);
    }
    return values;
}

QList<quint32> rootCardinals(xcb_connection_t *connection, xcb_window_t root, const QByteArray &property)
{
    return cardinals(connection, {root}, existingAtom(connection, property)).constFirst();
}

// `room` on `monitor` less the strips that `strut` (a panel's _NET_WM_STRUT_PARTIAL, or its
// older _NET_WM_STRUT without ranges) reserves; a strip is measured from the edge of the root
// window, and counts only on the monitors it reaches.
QRect withoutStrips(QRect room, const QRect &monitor, const QList<quint32> &strut, QSize root)
{
    if (strut.size() < 4)
        return room;
    const auto value = [&](int index, int fallback) { return strut.size() >= 12 ? int(strut.at(index)) : fallback; };
    const int lastX = root.width() - 1;
    const int lastY = root.height() - 1;
    const int left = int(strut.at(0));
    const int right = int(strut.at(1));
    const int top = int(strut.at(2));
    const int bottom = int(strut.at(3));
    if (left > 0 && monitor.intersects(QRect(QPoint(0, value(4, 0)), QPoint(left - 1, value(5, lastY)))))
        room.setLeft(qMax(room.left(), left));
    if (right > 0 && monitor.intersects(QRect(QPoint(root.width() - right, value(6, 0)), QPoint(lastX, value(7, lastY)))))
        room.setRight(qMin(room.right(), root.width() - right - 1));
    if (top > 0 && monitor.intersects(QRect(QPoint(value(8, 0), 0), QPoint(value(9, lastX), top - 1))))
        room.setTop(qMax(room.top(), top));
    if (bottom > 0 && monitor.intersects(QRect(QPoint(value(10, 0), root.height() - bottom), QPoint(value(11, lastX), lastY))))
        room.setBottom(qMin(room.bottom(), root.height() - bottom - 1));
    return room;
}

// The per-monitor work area the window manager publishes for `monitor`: the one that covers
// most of it.
QRect publishedWorkArea(const QList<quint32> &areas, const QRect &monitor)
{
    QRect found;
    qint64 covered = 0;
    for (qsizetype i = 0; i + 3 < areas.size(); i += 4) {
        const QRect area(int(areas.at(i)), int(areas.at(i + 1)), int(areas.at(i + 2)), int(areas.at(i + 3)));
        const QRect common = area & monitor;
        if (qint64(common.width()) * common.height() > covered) {
            covered = qint64(common.width()) * common.height();
            found = area;
        }
    }
    return found;
}

// The part of `monitor` (in device pixels) that panels leave free, or none where the X server
// cannot be asked.
std::optional<QRect> x11FreeArea(const QRect &monitor)
{
    xcb_connection_t *connection = x11Connection();
    if (!connection)
        return std::nullopt;
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
    ReplyPointer<xcb_get_geometry_reply_t> geometry(
        xcb_get_geometry_reply(connection, xcb_get_geometry(connection, root), nullptr), &std::free);
    if (!geometry)
        return std::nullopt;
    const QSize rootSize(geometry->width, geometry->height);

    QRect room = monitor;
    const QList<quint32> clients = rootCardinals(connection, root, "_NET_CLIENT_LIST");
    const QList<xcb_window_t> windows(clients.cbegin(), clients.cend());
    const QList<QList<quint32>> partial = cardinals(connection, windows, existingAtom(connection, "_NET_WM_STRUT_PARTIAL"));
    const QList<QList<quint32>> full = cardinals(connection, windows, existingAtom(connection, "_NET_WM_STRUT"));
    for (qsizetype i = 0; i < windows.size(); ++i)
        room = withoutStrips(room, monitor, partial.at(i).size() >= 12 ? partial.at(i) : full.at(i), rootSize);

    // A window manager that knows each monitor's work area may publish them, per desktop.
    const QList<quint32> desktop = rootCardinals(connection, root, "_NET_CURRENT_DESKTOP");
    const QByteArray workAreas = "_GTK_WORKAREAS_D" + QByteArray::number(desktop.value(0, 0));
    if (const QRect published = publishedWorkArea(rootCardinals(connection, root, workAreas), monitor); published.isValid())
        room &= published;
    return room;
}

// A screen's device-independent area keeps its top-left corner in device pixels, and Qt rounds
// its size: this one may be a pixel short, never long, so it reaches no neighbour.
QRect devicePixelArea(const QScreen *screen)
{
    const QRect area = screen->geometry();
    const qreal scale = screen->devicePixelRatio();
    return QRect(area.topLeft(), QSize(int(area.width() * scale), int(area.height() * scale)));
}

// `room`, in device pixels on `screen`, in device-independent ones, rounded inwards: Qt
// rounds a scaled screen's size to the nearest, which may reach a fraction of a pixel into
// the next monitor.
QRect deviceIndependentArea(const QScreen *screen, const QRect &room)
{
    const QPoint origin = screen->geometry().topLeft();
    const qreal scale = screen->devicePixelRatio();
    const int left = origin.x() + int(std::ceil((room.left() - origin.x()) / scale));
    const int top = origin.y() + int(std::ceil((room.top() - origin.y()) / scale));
    const int right = origin.x() + int(std::floor((room.left() + room.width() - origin.x()) / scale));
    const int bottom = origin.y() + int(std::floor((room.top() + room.height() - origin.y()) / scale));
    return QRect(left, top, right - left, bottom - top);
}

#endif

} // namespace

QRect screenWorkArea(const QScreen *screen)
{
    const QRect available = screen->availableGeometry();
#if MARROWICK_X11_WORK_AREA
    // With one monitor Qt reads the window manager's work area itself.
    if (QGuiApplication::screens().size() > 1) {
        if (const std::optional<QRect> room = x11FreeArea(devicePixelArea(screen)); room && room->isValid())
            return available & deviceIndependentArea(screen, *room);
    }
#endif
    return available;
}

} // namespace marrowick
