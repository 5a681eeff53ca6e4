#pragma once

#include <QPointer>
#include <QWidget>

class QListWidget;

namespace marrowick {

class AppState;

// The settings window: for now the plain list of the configured sources.
class SettingsView : public QWidget {
    Q_OBJECT

public:
    static constexpr QSize windowSize{480, 540};

    explicit SettingsView(AppState *state, QWidget *parent = nullptr);

    // What each line of the list says, in the order shown.
    QStringList sourceLines() const;

private:
    void refresh();

    QPointer<AppState> m_state;
    QListWidget *m_sources;
};

} // namespace marrowick
