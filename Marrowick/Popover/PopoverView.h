#pragma once

#include "Marrowick/State/OverallStatus.h"
#include "Marrowick/Popover/PopoverRows.h"
#include "Marrowick/Popover/RowChrome.h"
#include "MarrowickKit/Async/Instant.h"

#include <QHash>
#include <QMetaObject>
#include <QPointer>
#include <QSet>
#include <QTimer>
#include <QUuid>
#include <QWidget>

#include <algorithm>
#include <functional>

class QLabel;
class QScrollArea;
class QVBoxLayout;

namespace marrowick {

class AppState;
class PausedBanner;
class PopoverHeader;
class PopoverToolbar;
class RelativeTimeTicker;
class SourceBlock;
class SourceColumn;

// The tray popup: the header with the overall status, every source's rows on cards and in
// collapsible groups, the paused banner or the empty state, and the settings, pause and quit
// buttons. It reads everything from AppState and changes only the collapsed set and the
// paused flag. While hidden it does no work at all; shown, it redraws only the sources that
// changed, at most once per frame, so the scroll position stays where the user left it.
class PopoverView : public QWidget {
    Q_OBJECT

public:
    static constexpr int popoverWidth = 340;
    // From this many rows on, the list scrolls between the pinned header and toolbar.
    static constexpr int scrollingRowCount = 10;
    static constexpr int scrollingHeight = 420;
    static constexpr int maximumHeight = 580;
    // Changes that arrive within this time are drawn together.
    static constexpr int redrawDelayMs = 16;
    // The popup beside the tray icon: frameless, above other windows, and left alone by the
    // window manager, so it gets no taskbar button and no place in the window switcher.
    static constexpr Qt::WindowFlags popupWindowFlags =
        Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::BypassWindowManagerHint;
    // Shown while a source waits for this computer's network.
    static inline const QString networkNoticeText =
        QStringLiteral("This computer has no network. Marrowick checks every source again when it returns.");

    explicit PopoverView(AppState *state, QWidget *parent = nullptr);
    ~PopoverView() override;

    // A line at the top that stays until replaced; empty hides it.
    void setNotice(const QString &text);
    // The clock of the header's age text; the wall clock unless a test or a screenshot fixes it.
    void setClock(std::function<Instant()> now);

    // Reads the whole state now, so the size is right before the popup is placed and shown.
    void syncWithState();
    // Draws the changes collected for the next frame at once.
    void flushPendingChanges();

    bool isScrolling() const { return m_scrolling; }
    // The most the popup may be tall: maximumHeight, or `limit` where that is less (the
    // available height of a small or scaled screen). Applies from the next measure on.
    void setHeightLimit(int limit) { m_heightLimit = limit; }
    int heightLimit() const { return std::min(maximumHeight, m_heightLimit); }
    // Rows of every source, in sight or not: errors, empties, singles, headers and the children
    // of expanded headers.
    qsizetype rowCount() const;

    // The tray's tooltip word for an overall status.
    static QString statusTitle(OverallStatus status);

signals:
    void quitRequested();
    // The settings button or the empty list's add button: the shell opens the settings window.
    void settingsRequested();

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void buildEmptyState(QVBoxLayout *layout);
    void follow();
    void unfollow();
    void markDirty(const QUuid &id);
    void markStructureDirty();
    void scheduleRedraw();
    void redraw();
    void rebuildStructure(QList<QWidget *> &shows);
    void redrawSource(qsizetype index, bool force, QList<QWidget *> &shows);
    void setBlockRows(SourceBlock *block, const QList<PopoverRows::Row> &rows, bool force, QList<QWidget *> &shows);
    void fillList();
    void orderTabs();
    void toggleCollapsed(const QUuid &id);
    void refreshChrome();
    void refreshSaveNotice();
    void refreshNetworkNotice();
    void checkNotifications();
    void fitHeight();
    RowSettings rowSettings() const;

    QPointer<AppState> m_state;
    PopoverHeader *m_header;
    QLabel *m_notice;
    QLabel *m_saveNotice;
    QLabel *m_networkNotice;
    QLabel *m_notificationNotice;
    QScrollArea *m_scroll;
    QWidget *m_list;
    PausedBanner *m_banner;
    SourceColumn *m_column;
    QWidget *m_emptyState;
    QWidget *m_addFirstSource;
    PopoverToolbar *m_toolbar;
    RelativeTimeTicker *m_ticker;

    bool m_scrolling = false;
    int m_heightLimit = maximumHeight;
    RowSettings m_rowSettings;

    QTimer m_redrawTimer;
    QSet<QUuid> m_dirty;
    bool m_structureDirty = false;
    // Set by syncWithState() so the show that follows does not read the state twice.
    bool m_freshForShow = false;
    QList<QMetaObject::Connection> m_following;
};

} // namespace marrowick
