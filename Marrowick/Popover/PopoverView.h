#pragma once

#include "Marrowick/App/OverallStatus.h"
#include "MarrowickKit/Model/ServiceStatus.h"

#include <QPointer>
#include <QWidget>

class QLabel;
class QScrollArea;
class QVBoxLayout;

namespace marrowick {

class AppState;
class PillButton;

// The tray popup: the overall state, every source with its status orb, its visible widgets
// and its error, and the pause, refresh, settings and quit actions. Text from servers and
// files is shown as plain text.
class PopoverView : public QWidget {
    Q_OBJECT

public:
    static constexpr int popoverWidth = 340;
    // Beyond this the list of sources scrolls.
    static constexpr int maximumListHeight = 480;

    explicit PopoverView(AppState *state, QWidget *parent = nullptr);

    // A line at the top that stays until replaced; empty hides it.
    void setNotice(const QString &text);

    static QString statusTitle(OverallStatus status);
    static QColor statusColor(ServiceStatus status);

signals:
    void quitRequested();

protected:
    void showEvent(QShowEvent *event) override;

private:
    void rebuildSources();
    void addSource(const QUuid &id);
    void refreshHeader();
    void refreshSaveNotice();
    void checkNotifications();
    void fitHeight();

    QPointer<AppState> m_state;
    QLabel *m_status;
    QLabel *m_notice;
    QLabel *m_saveNotice;
    QLabel *m_notificationNotice;
    QScrollArea *m_scroll;
    QWidget *m_sourcesPanel;
    QVBoxLayout *m_sourcesLayout;
    PillButton *m_pauseButton;
};

} // namespace marrowick
