#pragma once

#include "Marrowick/App/OverallStatus.h"
#include "MarrowickKit/Model/ServiceStatus.h"

#include <QHash>
#include <QList>
#include <QPointer>
#include <QSet>
#include <QTimer>
#include <QUuid>
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
//
// Hidden, it does nothing but note that it is out of date, and reads the whole state again
// when shown. Shown, a structural change (sources, layout, pause) rebuilds the list, and a
// poll's result updates only its own source's lines in place; both wait for the next frame, so
// a burst of polls costs one redraw.
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
    // How long changes gather before the popup applies them: one frame.
    static constexpr int frameMs = 16;

    // Reads the state again if it changed while hidden; the shell calls it before sizing the
    // popup to show it.
    void refreshIfStale();

    // How many times the whole list was built; for tests and benchmarks.
    int rebuildCount() const { return m_rebuildCount; }

signals:
    void quitRequested();

protected:
    void showEvent(QShowEvent *event) override;

private:
    struct WidgetLine {
        QString key;
        QLabel *orb;
        QLabel *name;
        QLabel *trailing;
    };
    struct SourceBlock {
        QWidget *box = nullptr;
        QLabel *orb = nullptr;
        QLabel *name = nullptr;
        QLabel *error = nullptr;
        // Every widget key of the snapshot the lines were laid out for, in snapshot order.
        QList<QString> widgetKeys;
        QList<WidgetLine> lines;
    };

    void noteStructureChanged();
    void noteResultChanged(const QUuid &sourceID);
    void applyPending();
    void rebuildSources();
    SourceBlock buildBlock(const QUuid &id);
    // Updates the block's texts and colours; false when its lines no longer fit the snapshot.
    bool fillBlock(SourceBlock &block, const QUuid &id);
    void updateSource(const QUuid &id);
    void fitList();
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
    QHash<QUuid, SourceBlock> m_blocks;
    QSet<QUuid> m_pendingSources;
    bool m_isStale = true;
    int m_rebuildCount = 0;
    QTimer m_frame;
};

} // namespace marrowick
