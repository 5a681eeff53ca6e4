#pragma once

#include <QObject>
#include <QPointer>

class QScrollArea;
class QWidget;

namespace marrowick {

// Lets the keyboard move a scroll area that is no Tab stop of its own (a stop without a name
// that shows no focus): a control that takes the focus inside it from the keyboard is scrolled
// into sight, and Page Up, Page Down, Home and End that no control takes scroll the area from
// anywhere in its window. Owned by the area.
class KeyboardScrolling : public QObject {
    Q_OBJECT

public:
    static void apply(QScrollArea *area);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    explicit KeyboardScrolling(QScrollArea *area);
    void watchWindow();
    void showFocus(QWidget *focus);
    bool scrollByKey(int key);

    QScrollArea *m_area;
    QPointer<QWidget> m_window;
};

} // namespace marrowick
