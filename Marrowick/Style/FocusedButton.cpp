#include "Marrowick/Style/FocusedButton.h"

#include "Marrowick/Style/PillButton.h"

#include <QAbstractButton>
#include <QKeyEvent>

namespace marrowick {

bool pressFocusedButton(const QWidget *window)
{
    auto *button = qobject_cast<QAbstractButton *>(window->focusWidget());
    if (!button || button->isCheckable())
        return false;
    if (button->isEnabled())
        button->click();
    return true;
}

bool confirmFocusedButton(const QWidget *window, const QKeyEvent *event)
{
    return PillButton::isConfirmKey(event) && (event->isAutoRepeat() || pressFocusedButton(window));
}

} // namespace marrowick
