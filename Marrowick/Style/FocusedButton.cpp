#include "Marrowick/Style/FocusedButton.h"

#include <QAbstractButton>

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

} // namespace marrowick
