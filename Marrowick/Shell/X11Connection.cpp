#include "Marrowick/Shell/X11Connection.h"

#include <QGuiApplication>

namespace marrowick {

xcb_connection_t *x11Connection()
{
#if defined(MARROWICK_WITH_XCB) && QT_CONFIG(xcb)
    auto *x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
#else
    return nullptr;
#endif
}

} // namespace marrowick
