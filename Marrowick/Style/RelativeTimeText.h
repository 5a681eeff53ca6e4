#pragma once

#include "MarrowickKit/Async/Instant.h"

#include <QLabel>
#include <QPointer>
#include <QTimer>

#include <functional>

namespace marrowick {

// "just now", "12s ago", "4m ago", "3h ago", "2d ago": how long ago `date` was. It does not
// tick by itself: the RelativeTimeTicker of its window redraws it.
class RelativeTimeText : public QLabel {
    Q_OBJECT

public:
    static constexpr double tickSeconds = 5;

    explicit RelativeTimeText(Instant date = {}, QWidget *parent = nullptr);

    Instant date() const { return m_date; }
    void setDate(Instant date, Instant now);
    // Redraws for the tick that `now` falls in.
    void refresh(Instant now);

    // Whole seconds from `date` to `now`, truncated; under 5 (the future too) is "just now".
    static QString text(Instant date, Instant now);
    // The last tick at or before `now`: ticks fall every 5 s, counted from the reference date.
    static Instant tickDate(Instant now);

private:
    Instant m_date;
};

// The one timer of a window that redraws every RelativeTimeText in it on each 5-second tick,
// running only while the window is shown.
class RelativeTimeTicker : public QObject {
    Q_OBJECT

public:
    explicit RelativeTimeTicker(QWidget *window, std::function<Instant()> now = &Instant::now);

    Instant now() const { return m_now(); }
    void setClock(std::function<Instant()> now);
    bool isRunning() const { return m_timer.isActive(); }
    // Redraws every relative time in the window now.
    void refreshAll();

signals:
    void ticked(marrowick::Instant now);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void scheduleNextTick();

    QPointer<QWidget> m_window;
    std::function<Instant()> m_now;
    QTimer m_timer;
};

} // namespace marrowick
