#include "Marrowick/Popover/PopoverView.h"

#include "Marrowick/App/AppState.h"
#include "Marrowick/App/MenuBarIcon.h"
#include "Marrowick/Style/PillButton.h"
#include "Marrowick/Settings/SettingsWindowFront.h"
#include "MarrowickKit/Model/UuidText.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QScrollArea>
#include <QVBoxLayout>

namespace marrowick {

namespace {

QLabel *plainLabel(const QString &text, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    return label;
}

QLabel *orb(const QColor &color, QWidget *parent)
{
    auto *label = new QLabel(QStringLiteral("●"), parent);
    label->setTextFormat(Qt::PlainText);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, color);
    label->setPalette(palette);
    return label;
}

// The latency when there is one, else the widget's own short detail (why a check is down).
QString trailingText(const WidgetData &widget)
{
    if (const std::optional<double> latency = AppState::historyLatency(widget))
        return QStringLiteral("%1 ms").arg(*latency, 0, 'f', 0);
    if (const CheckResult *check = widget.get<CheckResult>())
        return check->detail.value_or(QString());
    if (const ServiceRow *service = widget.get<ServiceRow>())
        return service->detail.value_or(QString());
    return QString();
}

// One line: orb, text, and a short trailing text such as the latency.
QWidget *row(const QColor &color, const QString &text, const QString &trailing, QWidget *parent, bool bold = false)
{
    auto *line = new QWidget(parent);
    auto *layout = new QHBoxLayout(line);
    layout->setContentsMargins(bold ? 0 : 14, 0, 0, 0);
    layout->addWidget(orb(color, line));
    QLabel *name = plainLabel(text, line);
    name->setWordWrap(true);
    if (bold) {
        QFont font = name->font();
        font.setBold(true);
        name->setFont(font);
    }
    layout->addWidget(name, 1);
    if (!trailing.isEmpty()) {
        // A long reason wraps instead of widening the fixed-width popup.
        QLabel *tail = plainLabel(trailing, line);
        tail->setWordWrap(true);
        tail->setMaximumWidth(PopoverView::popoverWidth / 2);
        tail->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        layout->addWidget(tail);
    }
    return line;
}

} // namespace

PopoverView::PopoverView(AppState *state, QWidget *parent) : QWidget(parent), m_state(state)
{
    setFixedWidth(popoverWidth);
    auto *layout = new QVBoxLayout(this);

    auto *header = new QHBoxLayout;
    QLabel *title = plainLabel(QStringLiteral("Marrowick"), this);
    QFont titleFont = title->font();
    titleFont.setBold(true);
    title->setFont(titleFont);
    header->addWidget(title);
    header->addStretch();
    m_status = plainLabel(QString(), this);
    header->addWidget(m_status);
    layout->addLayout(header);

    for (QLabel **notice : {&m_notice, &m_saveNotice, &m_notificationNotice}) {
        *notice = plainLabel(QString(), this);
        (*notice)->setWordWrap(true);
        (*notice)->hide();
        layout->addWidget(*notice);
    }

    m_scroll = new QScrollArea(this);
    m_scroll->setWidgetResizable(true);
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_sourcesPanel = new QWidget(m_scroll);
    m_sourcesLayout = new QVBoxLayout(m_sourcesPanel);
    m_sourcesLayout->setContentsMargins(0, 0, 0, 0);
    m_scroll->setWidget(m_sourcesPanel);
    layout->addWidget(m_scroll, 1);

    auto *footer = new QHBoxLayout;
    m_pauseButton = new PillButton(QString(), PillButton::Kind::ghost, this);
    auto *refresh = new PillButton(QStringLiteral("Refresh now"), PillButton::Kind::ghost, this);
    auto *settings = new PillButton(QStringLiteral("Settings"), PillButton::Kind::ghost, this);
    auto *quit = new PillButton(QStringLiteral("Quit"), PillButton::Kind::ghost, this);
    for (PillButton *button : {m_pauseButton, refresh, settings})
        footer->addWidget(button);
    footer->addStretch();
    footer->addWidget(quit);
    layout->addLayout(footer);

    connect(m_pauseButton, &QAbstractButton::clicked, this, [this] { m_state->setPaused(!m_state->isPaused()); });
    connect(refresh, &QAbstractButton::clicked, this, [this] { m_state->refreshAll(); });
    connect(settings, &QAbstractButton::clicked, this, [] { bringSettingsWindowToFront(); });
    connect(quit, &QAbstractButton::clicked, this, &PopoverView::quitRequested);

    for (auto changed : {&AppState::sourcesChanged, &AppState::snapshotsChanged, &AppState::errorsChanged,
                         &AppState::widgetLayoutChanged, &AppState::isPausedChanged})
        connect(state, changed, this, &PopoverView::rebuildSources);
    connect(state, &AppState::isPausedChanged, this, &PopoverView::refreshHeader);
    connect(state, &AppState::overallStatusChanged, this, &PopoverView::refreshHeader);
    connect(state, &AppState::sourcesSaveErrorChanged, this, &PopoverView::refreshSaveNotice);

    refreshHeader();
    refreshSaveNotice();
    rebuildSources();
}

QString PopoverView::statusTitle(OverallStatus status)
{
    switch (status) {
    case OverallStatus::up:
        return QStringLiteral("All up");
    case OverallStatus::degraded:
        return QStringLiteral("Degraded");
    case OverallStatus::down:
        return QStringLiteral("Down");
    case OverallStatus::paused:
        return QStringLiteral("Paused");
    case OverallStatus::unknown:
        break;
    }
    return QStringLiteral("Unknown");
}

QColor PopoverView::statusColor(ServiceStatus status)
{
    switch (status) {
    case ServiceStatus::up:
        return MenuBarIcon::dotColor(OverallStatus::up);
    case ServiceStatus::down:
        return MenuBarIcon::dotColor(OverallStatus::down);
    case ServiceStatus::warn:
        return MenuBarIcon::dotColor(OverallStatus::degraded);
    case ServiceStatus::unknown:
        break;
    }
    return MenuBarIcon::dotColor(OverallStatus::unknown);
}

void PopoverView::setNotice(const QString &text)
{
    m_notice->setText(text);
    m_notice->setVisible(!text.isEmpty());
    fitHeight();
}

void PopoverView::refreshHeader()
{
    m_status->setText(statusTitle(m_state->overallStatus()));
    m_pauseButton->setText(m_state->isPaused() ? QStringLiteral("Resume") : QStringLiteral("Pause"));
    m_pauseButton->updateGeometry();
}

void PopoverView::refreshSaveNotice()
{
    const QString error = m_state->sourcesSaveError();
    m_saveNotice->setText(error.isEmpty() ? QString()
                                          : QStringLiteral("Your sources could not be saved (%1). Marrowick keeps "
                                                           "them and tries again at your next change.")
                                                .arg(error));
    m_saveNotice->setVisible(!error.isEmpty());
    fitHeight();
}

void PopoverView::rebuildSources()
{
    while (QLayoutItem *item = m_sourcesLayout->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    const QList<QUuid> ids = m_state->widgetLayout().orderedSources(m_state->sources());
    if (ids.isEmpty())
        m_sourcesLayout->addWidget(plainLabel(QStringLiteral("No sources yet."), m_sourcesPanel));
    for (const QUuid &id : ids)
        addSource(id);
    m_sourcesLayout->addStretch();
    // Shown now rather than at the next event-loop turn, so the size below counts them.
    for (QWidget *child : m_sourcesPanel->findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
        child->show();
    // The popup's height follows its content until the list has to scroll.
    m_scroll->setFixedHeight(std::min(m_sourcesLayout->sizeHint().height(), maximumListHeight));
    fitHeight();
}

void PopoverView::fitHeight()
{
    // The height is left to the content: lines that come and go resize the popup.
    if (isVisible())
        adjustSize();
}

void PopoverView::addSource(const QUuid &id)
{
    const auto source = std::find_if(m_state->sources().cbegin(), m_state->sources().cend(),
                                     [&id](const AnySourceConfig &candidate) { return candidate.id() == id; });
    const SourceSnapshot *snapshot = m_state->snapshots().find(id);
    const QString *error = m_state->errors().find(id);

    SourceMap<SourceSnapshot> ownSnapshot;
    if (snapshot)
        ownSnapshot.insert(id, *snapshot);
    SourceMap<QString> ownError;
    if (error)
        ownError.insert(id, *error);
    const OverallStatus status =
        m_state->isPaused() ? OverallStatus::paused : AppState::computeOverallStatus(ownSnapshot, ownError);
    m_sourcesLayout->addWidget(row(MenuBarIcon::dotColor(status), source->displayName(), QString(), m_sourcesPanel, true));

    if (m_state->widgetLayout().collapsed.contains(uuidText(id)))
        return;
    if (snapshot) {
        QList<WidgetEntry> entries;
        for (const WidgetData &widget : snapshot->widgets)
            entries.append(WidgetEntry{widget.scopedID(id), widget});
        for (const WidgetEntry &entry : m_state->widgetLayout().visibleEntries(entries)) {
            m_sourcesLayout->addWidget(row(statusColor(AppState::historyStatus(entry.widget)),
                                           entry.widget.displayName(), trailingText(entry.widget), m_sourcesPanel));
        }
    }
    if (error) {
        QLabel *text = plainLabel(*error, m_sourcesPanel);
        text->setWordWrap(true);
        text->setContentsMargins(14, 0, 0, 0);
        m_sourcesLayout->addWidget(text);
    }
}

void PopoverView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    checkNotifications();
}

void PopoverView::checkNotifications()
{
    const std::shared_ptr<AlertCenter> center = m_state->alertCenter();
    if (!center)
        return;
    [](QPointer<PopoverView> self, std::shared_ptr<AlertCenter> center) -> QCoro::Task<void> {
        const AuthorizationStatus status = co_await center->authorizationStatus();
        if (!self)
            co_return;
        const bool denied = status == AuthorizationStatus::denied;
        self->m_notificationNotice->setText(
            denied ? QStringLiteral("Alerts cannot be shown: no notification server answers.") : QString());
        self->m_notificationNotice->setVisible(denied);
        self->fitHeight();
    }(QPointer<PopoverView>(this), center);
}

} // namespace marrowick
