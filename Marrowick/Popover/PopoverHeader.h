#pragma once

#include "MarrowickKit/Async/Instant.h"

#include <QAbstractButton>
#include <QWidget>

class QLabel;

namespace marrowick {

class AppState;
class RelativeTimeText;
class StatusOrb;

// The refresh button of the header: the age of the newest result and a circular arrow.
class RefreshButton : public QAbstractButton {
    Q_OBJECT

public:
    explicit RefreshButton(QWidget *parent = nullptr);

    RelativeTimeText *age() const { return m_age; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    RelativeTimeText *m_age;
};

// The top of the popup: the brand, the overall status with its summary, the refresh button
// (or "Paused"), and the status word with the count of services.
class PopoverHeader : public QWidget {
    Q_OBJECT

public:
    explicit PopoverHeader(AppState *state, QWidget *parent = nullptr);

    // Recomputes every text from the state: one pass over all widgets.
    void refresh(Instant now);
    QAbstractButton *refreshButton() const { return m_refresh; }

protected:
    void changeEvent(QEvent *event) override;

private:
    AppState *m_state;
    QLabel *m_brand;
    StatusOrb *m_orb;
    QLabel *m_summary;
    QLabel *m_paused;
    RefreshButton *m_refresh;
    QWidget *m_countsLine;
    QLabel *m_statusWord;
    QLabel *m_counts;
};

} // namespace marrowick
