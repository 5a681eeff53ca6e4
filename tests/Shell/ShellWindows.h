#pragma once

#include "Marrowick/Popover/PopoverView.h"

#include <QApplication>
#include <QLabel>
#include <QScreen>

namespace marrowick::test {

// The program's popup among the top-level windows; nothing before the shell has made it.
inline PopoverView *popover()
{
    for (QWidget *window : QApplication::topLevelWidgets()) {
        if (auto *view = qobject_cast<PopoverView *>(window))
            return view;
    }
    return nullptr;
}

// The screen Qt knows by that name, or none.
inline QScreen *screenNamed(const QString &name)
{
    for (QScreen *screen : QGuiApplication::screens()) {
        if (screen->name() == name)
            return screen;
    }
    return nullptr;
}

// How many shown labels below `root` start with `start`.
inline int visibleLabelsStartingWith(const QWidget &root, const QString &start)
{
    int count = 0;
    for (const QLabel *label : root.findChildren<QLabel *>())
        count += label->isVisible() && label->text().startsWith(start) ? 1 : 0;
    return count;
}

} // namespace marrowick::test
