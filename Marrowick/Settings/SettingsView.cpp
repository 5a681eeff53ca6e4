#include "Marrowick/Settings/SettingsView.h"

#include "Marrowick/App/AppState.h"
#include "Marrowick/Editor/AddSourceView.h"
#include "Marrowick/Style/PillButton.h"
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

    // Until the full sources list lands: add through a button, edit by activating a row.
    auto *add = new PillButton(QStringLiteral("Add Source"), PillButton::Kind::prominent, this);
    add->setObjectName(QStringLiteral("settings.sources.add"));
    layout->addWidget(add, 0, Qt::AlignRight);
    connect(add, &PillButton::clicked, this, [this] { (new AddSourceView(m_state, std::nullopt, this))->open(); });
    connect(m_sources, &QListWidget::itemActivated, this, [this](QListWidgetItem *item) {
        const QUuid id = item->data(Qt::UserRole).toUuid();
        for (const AnySourceConfig &source : m_state->sources()) {
            if (source.id() == id)
                return (new AddSourceView(m_state, source, this))->open();
        }
    });

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
        auto *item = new QListWidgetItem(source->displayName() + QStringLiteral(" — ") + source->endpoint(), m_sources);
        item->setData(Qt::UserRole, id);
        item->setToolTip(QStringLiteral("Double-click to edit"));
    }
    if (sources.isEmpty())
        m_sources->addItem(QStringLiteral("No sources yet."));
}

} // namespace marrowick
