#include "Marrowick/Style/RelativeTimeText.h"

#include <QEvent>
#include <QWidget>

#include <cmath>

namespace marrowick {

RelativeTimeText::RelativeTimeText(Instant date, QWidget *parent) : QLabel(parent), m_date(date)
{
    setTextFormat(Qt::PlainText);
}

void RelativeTimeText::setDate(Instant date, Instant now)
{
    m_date = date;
    refresh(now);
}

void RelativeTimeText::refresh(Instant now)
{
    const QString label = text(m_date, tickDate(now));
    if (label != QLabel::text())
        setText(label);
}

QString RelativeTimeText::text(Instant date, Instant now)
{
    const double elapsed = now.sinceReference - date.sinceReference;
    // Compared as a double first: a date ages into days long before it could overflow an integer,
    // and a date that is not finite reads as "just now" rather than as a huge number.
    if (!(elapsed >= 5))
        return QStringLiteral("just now");
    if (elapsed < 60)
        return QStringLiteral("%1s ago").arg(static_cast<qint64>(elapsed));
    if (elapsed < 3600)
        return QStringLiteral("%1m ago").arg(static_cast<qint64>(elapsed) / 60);
    if (elapsed < 86400)
        return QStringLiteral("%1h ago").arg(static_cast<qint64>(elapsed) / 3600);
    constexpr double maximumDays = 1e15; // exactly representable, and far beyond any real age
    const double days = std::min(std::trunc(elapsed / 86400), maximumDays);
    return QStringLiteral("%1d ago").arg(static_cast<qint64>(days));
}

Instant RelativeTimeText::tickDate(Instant now)
{
    if (!std::isfinite(now.sinceReference))
        return now;
    return Instant{std::floor(now.sinceReference / tickSeconds) * tickSeconds};
}

RelativeTimeTicker::RelativeTimeTicker(QWidget *window, std::function<Instant()> now)
    : QObject(window), m_window(window), m_now(std::move(now))
{
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::CoarseTimer);
    connect(&m_timer, &QTimer::timeout, this, [this] {
        refreshAll();
        scheduleNextTick();
    });
    window->installEventFilter(this);
    if (window->isVisible())
        scheduleNextTick();
}

void RelativeTimeTicker::setClock(std::function<Instant()> now)
{
    m_now = std::move(now);
    refreshAll();
    if (m_timer.isActive())
        scheduleNextTick();
}

void RelativeTimeTicker::refreshAll()
{
    if (!m_window)
        return;
    const Instant current = m_now();
    for (RelativeTimeText *label : m_window->findChildren<RelativeTimeText *>())
        label->refresh(current);
    emit ticked(current);
}

bool RelativeTimeTicker::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_window) {
        if (event->type() == QEvent::Show) {
            refreshAll();
            scheduleNextTick();
        } else if (event->type() == QEvent::Hide) {
            m_timer.stop();
        }
    }
    return QObject::eventFilter(watched, event);
}

void RelativeTimeTicker::scheduleNextTick()
{
    // Wakes at the next 5-second boundary, so every label in every window turns together.
    const double seconds = m_now().sinceReference;
    constexpr double tickSeconds = RelativeTimeText::tickSeconds;
    double remaining = tickSeconds;
    if (std::isfinite(seconds))
        remaining = tickSeconds - std::fmod(std::fmod(seconds, tickSeconds) + tickSeconds, tickSeconds);
    m_timer.start(std::max(1, static_cast<int>(std::ceil(remaining * 1000))));
}

} // namespace marrowick
