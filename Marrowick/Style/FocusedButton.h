#pragma once

class QKeyEvent;
class QWidget;

namespace marrowick {

// Return presses the focused button, as Space does: a keyboard user confirms what has the focus.
// Presses the button that has the focus in `window`, where it is enabled; true when a button
// has the focus. A switch or a tab is not pressed: Return does not change a choice.
bool pressFocusedButton(const QWidget *window);

// A window's own Return: for Return or Enter alone, presses the focused button as above, once
// however long the key is held; true when the key is taken so.
bool confirmFocusedButton(const QWidget *window, const QKeyEvent *event);

} // namespace marrowick
