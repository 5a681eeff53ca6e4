#pragma once

#include "Marrowick/State/WidgetLayout.h"
#include "MarrowickKit/Model/AnySourceConfig.h"

#include <QPointer>
#include <QWidget>

#include <optional>
#include <utility>

class QLabel;
class QListWidget;

namespace marrowick {

class AppState;

// The widgets of one source as its latest poll reported them, in the user's order, each with
// an eye to hide it from the popup or show it again, moved by a drag or by Alt+Up and Alt+Down
// on its row or its eye. Every change goes into the widget layout and is saved at once,
// whatever the sheet does afterwards; while the settings cannot be saved, a line under the
// list says so.
class SourceWidgetsSection : public QWidget {
    Q_OBJECT

public:
    static constexpr int listHeight = 150;

    SourceWidgetsSection(AppState *state, AnySourceConfig source, QWidget *parent = nullptr);

    // The source's widgets in layout order; empty before its first successful poll.
    QList<WidgetEntry> entries() const;
    void toggleHidden(const QString &key);

private:
    void refresh();
    void rebuild();
    std::optional<std::pair<QString, int>> focusedRow() const;
    void syncOrderFromList();
    void moveByKeyboard(int places);
    void refreshUnsaved();

    QPointer<AppState> m_state;
    AnySourceConfig m_source;
    QLabel *m_empty;
    QLabel *m_unsaved;
    QListWidget *m_list;
    QList<WidgetEntry> m_shown;
    QSet<QString> m_shownHidden;
};

} // namespace marrowick
