#pragma once

struct xcb_connection_t;

namespace marrowick {

// The application's connection to the X server, or none: another platform, no application
// yet, or a build without X11.
xcb_connection_t *x11Connection();

} // namespace marrowick
