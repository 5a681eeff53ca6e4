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

void setOrbColor(QLabel *orb, const QColor &color)
{
    QPalette palette = orb->palette();
    if (palette.color(QPalette::WindowText) == color)
        return;
    palette.setColor(QPalette::WindowText, color);
    orb->setPalette(palette);
}

void setTextIfChanged(QLabel *label, const QString &text)
{
    if (label->text() != text)
        label->setText(text);
}

// One line in `parent`'s layout: orb, text, and a short trailing text such as the latency.
struct Line {
    QLabel *orb;
    QLabel *name;
    QLabel *trailing;
};

Line addLine(QWidget *parent, QVBoxLayout *into, bool bold)
{
    auto *line = new QWidget(parent);
    auto *layout = new QHBoxLayout(line);
    layout->setContentsMargins(bold ? 0 : 14, 0, 0, 0);
    QLabel *dot = orb(MenuBarIcon::dotColor(OverallStatus::unknown), line);
    layout->addWidget(dot);
    QLabel *name = plainLabel(QString(), line);
    name->setWordWrap(true);
    if (bold) {
        QFont font = name->font();
        font.setBold(true);
        name->setFont(font);
    }
    layout->addWidget(name, 1);
    // A long reason wraps instead of widening the fixed-width popup.
    QLabel *tail = plainLabel(QString(), line);
    tail->setWordWrap(true);
    tail->setMaximumWidth(PopoverView::popoverWidth / 2);
    tail->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    tail->hide();
    layout->addWidget(tail);
    into->addWidget(line);
    return {dot, name, tail};
}

QList<QString> widgetKeys(const SourceSnapshot *snapshot, const QUuid &id)
{
    QList<QString> keys;
    if (snapshot) {
        for (const WidgetData &widget : snapshot->widgets)
            keys.append(widget.scopedID(id));
    }
    return keys;
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

    m_frame.setSingleShot(true);
    m_frame.setInterval(frameMs);
    connect(&m_frame, &QTimer::timeout, this, &PopoverView::applyPending);
    for (auto changed : {&AppState::sourcesChanged, &AppState::widgetLayoutChanged, &AppState::isPausedChanged})
        connect(state, changed, this, &PopoverView::noteStructureChanged);
    connect(state, &AppState::sourceResultChanged, this, &PopoverView::noteResultChanged);
    connect(state, &AppState::isPausedChanged, this, &PopoverView::refreshHeader);
    connect(state, &AppState::overallStatusChanged, this, &PopoverView::refreshHeader);
    connect(state, &AppState::sourcesSaveErrorChanged, this, &PopoverView::refreshSaveNotice);

    refreshHeader();
    refreshSaveNotice();
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

void PopoverView::noteStructureChanged()
{
    m_isStale = true;
    m_pendingSources.clear();
    if (isVisible() && !m_frame.isActive())
        m_frame.start();
}

void PopoverView::noteResultChanged(const QUuid &sourceID)
{
    // Hidden, or about to be rebuilt anyway: the next showing reads everything again.
    if (!isVisible() || m_isStale) {
        m_isStale = true;
        return;
    }
    m_pendingSources.insert(sourceID);
    if (!m_frame.isActive())
        m_frame.start();
}

void PopoverView::applyPending()
{
    if (!isVisible())
        return;
    if (m_isStale) {
        rebuildSources();
        return;
    }
    const QSet<QUuid> pending = std::exchange(m_pendingSources, {});
    for (const QUuid &id : pending)
        updateSource(id);
}

void PopoverView::rebuildSources()
{
    m_isStale = false;
    m_pendingSources.clear();
    ++m_rebuildCount;
    m_blocks.clear();
    m_sourcesPanel->setUpdatesEnabled(false);
    while (QLayoutItem *item = m_sourcesLayout->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    const QList<QUuid> ids = m_state->widgetLayout().orderedSources(m_state->sources());
    if (ids.isEmpty())
        m_sourcesLayout->addWidget(plainLabel(QStringLiteral("No sources yet."), m_sourcesPanel));
    for (const QUuid &id : ids) {
        SourceBlock block = buildBlock(id);
        m_sourcesLayout->addWidget(block.box);
        m_blocks.insert(id, block);
    }
    m_sourcesLayout->addStretch();
    m_sourcesPanel->setUpdatesEnabled(true);
    fitList();
}

void PopoverView::fitList()
{
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

PopoverView::SourceBlock PopoverView::buildBlock(const QUuid &id)
{
    SourceBlock block;
    block.box = new QWidget(m_sourcesPanel);
    auto *layout = new QVBoxLayout(block.box);
    layout->setContentsMargins(0, 0, 0, 0);
    const Line header = addLine(block.box, layout, true);
    block.orb = header.orb;
    block.name = header.name;

    const SourceSnapshot *snapshot = m_state->snapshot(id);
    block.widgetKeys = widgetKeys(snapshot, id);
    if (snapshot && !m_state->widgetLayout().collapsed.contains(uuidText(id))) {
        QList<WidgetEntry> entries;
        for (const WidgetData &widget : snapshot->widgets)
            entries.append(WidgetEntry{widget.scopedID(id), widget});
        for (const WidgetEntry &entry : m_state->widgetLayout().visibleEntries(entries)) {
            const Line line = addLine(block.box, layout, false);
            block.lines.append(WidgetLine{entry.key, line.orb, line.name, line.trailing});
        }
    }
    block.error = plainLabel(QString(), block.box);
    block.error->setWordWrap(true);
    block.error->setContentsMargins(14, 0, 0, 0);
    block.error->hide();
    layout->addWidget(block.error);
    fillBlock(block, id);
    return block;
}

bool PopoverView::fillBlock(SourceBlock &block, const QUuid &id)
{
    const SourceSnapshot *snapshot = m_state->snapshot(id);
    if (widgetKeys(snapshot, id) != block.widgetKeys)
        return false;
    const QString *error = m_state->error(id);
    if (const AnySourceConfig *source = m_state->source(id))
        setTextIfChanged(block.name, source->displayName());

    SourceMap<SourceSnapshot> ownSnapshot;
    if (snapshot)
        ownSnapshot.insert(id, *snapshot);
    SourceMap<QString> ownError;
    if (error)
        ownError.insert(id, *error);
    const OverallStatus status =
        m_state->isPaused() ? OverallStatus::paused : AppState::computeOverallStatus(ownSnapshot, ownError);
    setOrbColor(block.orb, MenuBarIcon::dotColor(status));

    for (const WidgetLine &line : std::as_const(block.lines)) {
        for (const WidgetData &widget : snapshot->widgets) {
            if (widget.scopedID(id) != line.key)
                continue;
            setOrbColor(line.orb, statusColor(AppState::historyStatus(widget)));
            setTextIfChanged(line.name, widget.displayName());
            const QString trailing = trailingText(widget);
            setTextIfChanged(line.trailing, trailing);
            line.trailing->setVisible(!trailing.isEmpty());
            break;
        }
    }
    setTextIfChanged(block.error, error ? *error : QString());
    block.error->setVisible(error != nullptr);
    return true;
}

void PopoverView::updateSource(const QUuid &id)
{
    const auto found = m_blocks.find(id);
    if (found == m_blocks.end())
        return; // a source that went; its removal rebuilds the list
    if (fillBlock(*found, id))
        return;
    // Its widgets came or went: only this source's lines are laid out again.
    SourceBlock block = buildBlock(id);
    delete m_sourcesLayout->replaceWidget(found->box, block.box);
    delete found->box;
    *found = block;
    block.box->show();
    m_scroll->setFixedHeight(std::min(m_sourcesLayout->sizeHint().height(), maximumListHeight));
    fitHeight();
}

void PopoverView::refreshIfStale()
{
    if (m_isStale)
        rebuildSources();
}

void PopoverView::showEvent(QShowEvent *event)
{
    // Read everything that changed while hidden before the first frame is drawn.
    refreshIfStale();
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
