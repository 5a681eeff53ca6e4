#pragma once

#include "Marrowick/Editor/AddSourceView.h"
#include "Marrowick/Settings/GeneralSettingsView.h"
#include "MarrowickKit/Async/Instant.h"
#include "MarrowickKit/Model/AnySourceConfig.h"

#include <QHash>
#include <QPointer>
#include <QStringList>
#include <QWidget>

#include <array>
#include <functional>
#include <optional>

class QAbstractButton;
class QLabel;
class QScrollArea;
class QVBoxLayout;

namespace marrowick {

class AddSourceView;
class AppState;
class RelativeTimeTicker;
class SourceRow;
class SourcesListPanel;

// The settings window: a "Sources" tab with one card per source in the layout's order (drag
// to reorder, mute, edit, delete, add) and a "General" tab with the application's own
// settings. It keeps no copy of the sources; every card is recomputed from AppState.
class SettingsView : public QWidget {
    Q_OBJECT

public:
    enum class SettingsTab { sources, general };

    // The designed size; a screen with less room gets a smaller window whose lists scroll.
    static constexpr QSize windowSize{480, 540};
    static inline const QString editFirstSourceArgument = QStringLiteral("-uiTestEditFirstSource");
    static inline const QString emptyStateIdentifier = QStringLiteral("settings.sources.empty");
    static inline const QString addButtonIdentifier = QStringLiteral("settings.sources.add");
    static QString tabTitle(SettingsTab tab);
    static QString tabIdentifier(SettingsTab tab);

    // `arguments` are the process's launch arguments.
    explicit SettingsView(AppState *state, QStringList arguments = {},
                          GeneralSettingsServices services = GeneralSettingsServices::system(),
                          QWidget *parent = nullptr);
    ~SettingsView() override;

    SettingsTab tab() const { return m_tab; }
    void setTab(SettingsTab tab);
    QAbstractButton *tabButton(SettingsTab tab) const;
    // The General tab while it is shown; it is built anew each time it is chosen.
    GeneralSettingsView *generalTab() const { return m_general; }

    // The sources in display order: the layout's order, then the rest in stored order.
    QList<AnySourceConfig> orderedSources() const;
    // Positions are in orderedSources(); only the layout changes, never "sources.json".
    void moveSources(const QList<qsizetype> &fromOffsets, qsizetype toOffset);
    void deleteSources(const QList<qsizetype> &offsets);
    void toggleAlerts(const QUuid &id);
    void deleteSource(const QUuid &id);

    void showAddSource();
    void editSource(const QUuid &id);
    // The add or edit sheet while it is open.
    AddSourceView *sheet() const { return m_sheet; }
    std::optional<QUuid> editingSourceID() const;

    // The cards there are, in the order shown: those in and near the visible part of the list.
    QList<SourceRow *> cards() const;
    // The source's card while there is one.
    SourceRow *card(const QUuid &id) const;
    // "<name> — <address>" for each card, in the order shown.
    QStringList sourceLines() const;
    QWidget *emptyState() const { return m_emptyState; }
    // Under the tabs while a change made here is in effect but not saved: why, and what
    // becomes of it.
    QLabel *saveNotice() const { return m_saveNotice; }

    // Tests and screenshots fix the clock the ages are measured with.
    void setClock(std::function<Instant()> now);

    // Runs each time the window comes on screen.
    void applyUITestLaunchArguments();

signals:
    // "Show Again" in the General tab: the shell owns the first-run window.
    void showWelcomeRequested();

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    QWidget *buildSourcesTab();
    void refreshSources();
    void rebuildSources();
    void fillSources();
    void orderTabs();
    void refreshSourceResult(const QUuid &id);
    void refreshSaveNotice();
    QWidget *makeCard(qsizetype index, QList<QWidget *> &shows);
    // Gives the card the source's model as the state has it, as of `now`.
    void showSource(SourceRow *card, const QUuid &id, Instant now) const;
    void startDrag(const QUuid &id);
    void moveByKeyboard(const QUuid &id, int places);
    // The card's edit, bell and trash buttons, in Tab order.
    static QList<QWidget *> cardButtons(const SourceRow *card);
    // Focuses the button of the card at `index`, or of the last card, or the add button.
    void focusCardNear(qsizetype index, int button);
    void openSheet(std::optional<AnySourceConfig> source);

    QPointer<AppState> m_state;
    QStringList m_arguments;
    GeneralSettingsServices m_services;
    SettingsTab m_tab = SettingsTab::sources;
    std::array<QAbstractButton *, 2> m_tabButtons{};
    QVBoxLayout *m_content;
    QWidget *m_sourcesTab;
    QPointer<GeneralSettingsView> m_general;
    QScrollArea *m_scroll;
    SourcesListPanel *m_list;
    QWidget *m_emptyState;
    QLabel *m_saveNotice;
    QAbstractButton *m_firstSourceButton;
    QAbstractButton *m_addButton;
    QPointer<AddSourceView> m_sheet;
    std::optional<QUuid> m_editingID;
    RelativeTimeTicker *m_ticker;
};

} // namespace marrowick
