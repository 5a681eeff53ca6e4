#pragma once

class QWidget;

namespace marrowick {

// Return presses the focused button, as Space does: a keyboard user confirms what has the focus.
// Presses the button that has the focus in `window`, where it is enabled; true when a button
// has the focus. A switch or a tab is not pressed: Return does not change a choice.
bool pressFocusedButton(const QWidget *window);

} // namespace marrowick
