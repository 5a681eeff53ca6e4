#include "Marrowick/Style/KeyboardScrolling.h"

#include <QApplication>
#include <QKeyEvent>
#include <QScrollArea>
#include <QScrollBar>

namespace marrowick {

namespace {

// Passes of End: a list that makes its rows as they come into sight measures them then, and
// its end moves.
constexpr int endPasses = 4;

} // namespace

void KeyboardScrolling::apply(QScrollArea *area)
{
    new KeyboardScrolling(area);
}

KeyboardScrolling::KeyboardScrolling(QScrollArea *area) : QObject(area), m_area(area)
{
    area->setFocusPolicy(Qt::NoFocus);
    area->installEventFilter(this);
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget *, QWidget *now) { showFocus(now); });
    watchWindow();
}

void KeyboardScrolling::watchWindow()
{
    QWidget *window = m_area->window();
    if (window == m_window)
        return;
    if (m_window)
        m_window->removeEventFilter(this);
    m_window = window;
    if (window != m_area)
        window->installEventFilter(this);
}

void KeyboardScrolling::showFocus(QWidget *focus)
{
    // A click gives the focus too: moving the content under the pointer would lose the click.
    if (!focus || QGuiApplication::mouseButtons() != Qt::NoButton || !m_area->isVisible())
        return;
    if (QWidget *content = m_area->widget(); content && content->isAncestorOf(focus))
        m_area->ensureWidgetVisible(focus);
}

bool KeyboardScrolling::scrollByKey(int key)
{
    QScrollBar *bar = m_area->verticalScrollBar();
    switch (key) {
    case Qt::Key_PageUp:
        bar->triggerAction(QAbstractSlider::SliderPageStepSub);
        return true;
    case Qt::Key_PageDown:
        bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
        return true;
    case Qt::Key_Home:
        bar->triggerAction(QAbstractSlider::SliderToMinimum);
        return true;
    case Qt::Key_End:
        for (int pass = 0; pass < endPasses && bar->value() != bar->maximum(); ++pass) {
            bar->triggerAction(QAbstractSlider::SliderToMaximum);
            QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        }
        return true;
    default:
        return false;
    }
}

bool KeyboardScrolling::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_area) {
        if (event->type() == QEvent::ParentChange || event->type() == QEvent::Show)
            watchWindow();
        return false;
    }
    // The window gets a key only when no control under the focus took it.
    if (watched == m_window && event->type() == QEvent::KeyPress && m_area->isVisible()) {
        const auto *key = static_cast<const QKeyEvent *>(event);
        if ((key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier && scrollByKey(key->key()))
            return true;
    }
    return false;
}

} // namespace marrowick
