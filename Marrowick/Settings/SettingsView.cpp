#include "Marrowick/Settings/SettingsView.h"

#include "Marrowick/App/AppState.h"
#include "Marrowick/Settings/SettingsWindowFront.h"

#include <QLabel>
#include <QListWidget>
#include <QVBoxLayout>

namespace marrowick {

SettingsView::SettingsView(AppState *state, QWidget *parent) : QWidget(parent), m_state(state)
{
    setObjectName(settingsWindowIdentifier);
    setWindowTitle(QStringLiteral("Marrowick Settings"));
    setFixedSize(windowSize);

    auto *layout = new QVBoxLayout(this);
    auto *heading = new QLabel(QStringLiteral("Sources"), this);
    QFont font = heading->font();
    font.setBold(true);
    heading->setFont(font);
    layout->addWidget(heading);
    m_sources = new QListWidget(this);
    m_sources->setSelectionMode(QAbstractItemView::NoSelection);
    layout->addWidget(m_sources);

    connect(state, &AppState::sourcesChanged, this, &SettingsView::refresh);
    connect(state, &AppState::widgetLayoutChanged, this, &SettingsView::refresh);
    refresh();
}

QStringList SettingsView::sourceLines() const
{
    QStringList lines;
    for (int row = 0; row < m_sources->count(); ++row)
        lines.append(m_sources->item(row)->text());
    return lines;
}

void SettingsView::refresh()
{
    m_sources->clear();
    const QList<AnySourceConfig> &sources = m_state->sources();
    for (const QUuid &id : m_state->widgetLayout().orderedSources(sources)) {
        const auto source = std::find_if(sources.cbegin(), sources.cend(),
                                         [&id](const AnySourceConfig &candidate) { return candidate.id() == id; });
        // List items draw their text as plain text.
        m_sources->addItem(source->displayName() + QStringLiteral(" — ") + source->endpoint());
    }
    if (sources.isEmpty())
        m_sources->addItem(QStringLiteral("No sources yet."));
}

} // namespace marrowick
