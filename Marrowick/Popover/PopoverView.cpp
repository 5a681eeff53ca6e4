#include "Marrowick/Popover/PopoverView.h"

#include "Marrowick/State/AppSettings.h"
#include "Marrowick/State/AppState.h"
#include "Marrowick/Popover/ListDimming.h"
#include "Marrowick/Popover/PausedBanner.h"
#include "Marrowick/Popover/PopoverHeader.h"
#include "Marrowick/Popover/PopoverRows.h"
#include "Marrowick/Style/Symbol.h"
#include "Marrowick/Popover/PopoverText.h"
#include "Marrowick/Popover/PopoverToolbar.h"
#include "Marrowick/Style/RelativeTimeText.h"
#include "Marrowick/Popover/SourceBlock.h"
#include "Marrowick/Popover/SourceColumn.h"
#include "Marrowick/Style/FocusedButton.h"
#include "Marrowick/Style/KeyboardScrolling.h"
#include "Marrowick/Style/PillButton.h"
#include "MarrowickKit/Model/UuidText.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QScrollArea>
#include <QScrollBar>
#include <QStringList>
#include <QVBoxLayout>

#include <limits>

namespace marrowick {

namespace {

constexpr qreal pausedListOpacity = 0.4;

QLabel *noticeLabel(QWidget *parent)
{
    QLabel *label = plainLabel(QString(), textFont(parent->font(), TextStyle::caption), parent);
    label->setWordWrap(true);
    label->setContentsMargins(14, 0, 14, 6);
    label->hide();
    return label;
}

} // namespace

PopoverView::PopoverView(AppState *state, QWidget *parent) : QWidget(parent), m_state(state)
{
    setObjectName(QStringLiteral("popover"));
    // No frame shows it, but assistive technology names the window by it.
    setWindowTitle(QStringLiteral("Marrowick"));
    setFixedWidth(popoverWidth);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    m_header = new PopoverHeader(state, this);
    layout->addWidget(m_header);
    for (QLabel **notice : {&m_notice, &m_saveNotice, &m_networkNotice, &m_notificationNotice}) {
        *notice = noticeLabel(this);
        layout->addWidget(*notice);
    }
    m_networkNotice->setObjectName(QStringLiteral("popover.networkNotice"));

    m_scroll = new QScrollArea(this);
    m_scroll->setObjectName(QStringLiteral("popover.list"));
    m_scroll->setWidgetResizable(true);
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scroll->viewport()->setAutoFillBackground(false);
    KeyboardScrolling::apply(m_scroll);
    m_list = new QWidget(m_scroll);
    m_list->setAutoFillBackground(false);
    auto *list = new QVBoxLayout(m_list);
    list->setContentsMargins(10, 8, 10, 8);
    list->setSpacing(8);
    m_banner = new PausedBanner(m_list);
    list->addWidget(m_banner);
    m_column = new SourceColumn(popoverWidth - list->contentsMargins().left() - list->contentsMargins().right(),
                                [this](SourceBlock *block, QList<QWidget *> &shows) {
                                    const WidgetLayout &widgets = m_state->widgetLayout();
                                    setBlockRows(block,
                                                 PopoverRows::rows(block->source(), m_state->errors(),
                                                                   m_state->snapshots(), widgets, widgets.collapsed),
                                                 true, shows);
                                }, m_list);
    m_column->setObjectName(QStringLiteral("popover.groups"));
    // A row that grew or shrank on its own changes the plain popup's height.
    connect(m_column, &LazyColumn::heightsChanged, this, [this] {
        if (isVisible())
            fitHeight();
    });
    list->addWidget(m_column);
    list->addStretch(1);
    m_scroll->setWidget(m_list);
    layout->addWidget(m_scroll);
    connect(m_scroll->verticalScrollBar(), &QScrollBar::valueChanged, this, [this] {
        if (isVisible())
            fillList();
    });

    m_emptyState = new QWidget(this);
    m_emptyState->setObjectName(QStringLiteral("popover.empty"));
    buildEmptyState(layout);

    m_toolbar = new PopoverToolbar(this);
    layout->addWidget(m_toolbar);
    connect(m_toolbar->settingsButton(), &QAbstractButton::clicked, this, &PopoverView::settingsRequested);
    connect(m_toolbar->pauseButton(), &QAbstractButton::clicked, this, [this] {
        if (m_state)
            m_state->setPaused(!m_state->isPaused());
    });
    connect(m_toolbar->quitButton(), &QAbstractButton::clicked, this, &PopoverView::quitRequested);

    m_ticker = new RelativeTimeTicker(this);
    m_redrawTimer.setSingleShot(true);
    m_redrawTimer.setInterval(redrawDelayMs);
    connect(&m_redrawTimer, &QTimer::timeout, this, &PopoverView::redraw);
}

PopoverView::~PopoverView() = default;

void PopoverView::buildEmptyState(QVBoxLayout *layout)
{
    auto *empty = new QVBoxLayout(m_emptyState);
    empty->setContentsMargins(0, 40, 0, 40);
    empty->setSpacing(12);
    auto *rack = new SymbolView(Symbol::serverRack, 30, m_emptyState);
    rack->setColor(secondaryColor(palette()));
    empty->addWidget(rack, 0, Qt::AlignHCenter);
    QLabel *title = plainLabel(QStringLiteral("No sources yet"), textFont(font(), TextStyle::callout), m_emptyState);
    QLabel *hint = plainLabel(QStringLiteral("Add a source to start monitoring."), textFont(font(), TextStyle::caption),
                              m_emptyState);
    hint->setWordWrap(true);
    hint->setAlignment(Qt::AlignHCenter);
    hint->setContentsMargins(28, 0, 28, 0);
    title->setAlignment(Qt::AlignHCenter);
    for (QLabel *label : {title, hint}) {
        setLabelColor(label, secondaryColor(palette()));
        // Full width, centred text: a wrapping label placed by alignment keeps its one-line width.
        empty->addWidget(label);
    }
    auto *add = new PillButton(QStringLiteral("Add first source"), PillButton::Kind::prominent, m_emptyState);
    add->setObjectName(QStringLiteral("popover.addFirstSource"));
    connect(add, &QAbstractButton::clicked, this, &PopoverView::settingsRequested);
    empty->addWidget(add, 0, Qt::AlignHCenter);
    m_addFirstSource = add;
    layout->addWidget(m_emptyState);
}

void PopoverView::setNotice(const QString &text)
{
    m_notice->setText(text);
    m_notice->setVisible(!text.isEmpty());
    fitHeight();
}

void PopoverView::setClock(std::function<Instant()> now)
{
    m_ticker->setClock(std::move(now));
    if (isVisible())
        m_header->refresh(m_ticker->now());
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

// ---- Following the state --------------------------------------------------------------------

void PopoverView::showEvent(QShowEvent *event)
{
    follow();
    if (!m_freshForShow)
        syncWithState();
    m_freshForShow = false;
    QWidget::showEvent(event);
    checkNotifications();
}

void PopoverView::hideEvent(QHideEvent *event)
{
    // Hidden, the popup neither listens nor draws; the next show reads the state afresh.
    unfollow();
    m_redrawTimer.stop();
    m_dirty.clear();
    m_structureDirty = false;
    m_freshForShow = false;
    QWidget::hideEvent(event);
}

void PopoverView::keyPressEvent(QKeyEvent *event)
{
    // Escape dismisses the popup, as it does a menu. The window that stands in where there is
    // no tray stays: closing it would quit. Return presses the focused button, once when held.
    if (event->matches(QKeySequence::Cancel) && windowType() != Qt::Window) {
        hide();
        return;
    }
    if (confirmFocusedButton(this, event))
        return;
    QWidget::keyPressEvent(event);
}

void PopoverView::follow()
{
    if (!m_following.isEmpty() || !m_state)
        return;
    AppState *state = m_state;
    m_following = {
        connect(state, &AppState::sourceResultChanged, this, &PopoverView::markDirty),
        connect(state, &AppState::sourcesChanged, this, &PopoverView::markStructureDirty),
        connect(state, &AppState::widgetLayoutChanged, this, &PopoverView::markStructureDirty),
        connect(state, &AppState::isPausedChanged, this, &PopoverView::markStructureDirty),
        // Results of removed sources vanish without a polled source: only the header shows them.
        connect(state, &AppState::snapshotsChanged, this, &PopoverView::scheduleRedraw),
        connect(state, &AppState::errorsChanged, this, &PopoverView::scheduleRedraw),
        connect(state, &AppState::overallStatusChanged, this, &PopoverView::scheduleRedraw),
        connect(state, &AppState::sourcesSaveErrorChanged, this, &PopoverView::refreshSaveNotice),
        connect(state, &AppState::storageNoticeChanged, this, &PopoverView::refreshSaveNotice),
        connect(state, &AppState::isWithoutNetworkChanged, this, &PopoverView::refreshNetworkNotice),
    };
    if (AppSettings *settings = state->widgetLayoutDefaults()) {
        m_following.append(connect(settings, &AppSettings::changed, this, [this](const QString &key) {
            if (key == SettingsKey::compactMode || key == SettingsKey::showSparklines)
                markStructureDirty();
        }));
    }
}

void PopoverView::unfollow()
{
    for (const QMetaObject::Connection &connection : std::as_const(m_following))
        disconnect(connection);
    m_following.clear();
}

void PopoverView::markDirty(const QUuid &id)
{
    m_dirty.insert(id);
    scheduleRedraw();
}

void PopoverView::markStructureDirty()
{
    m_structureDirty = true;
    scheduleRedraw();
}

void PopoverView::scheduleRedraw()
{
    if (!m_redrawTimer.isActive())
        m_redrawTimer.start();
}

void PopoverView::flushPendingChanges()
{
    if (!m_redrawTimer.isActive())
        return;
    m_redrawTimer.stop();
    redraw();
}

void PopoverView::syncWithState()
{
    m_redrawTimer.stop();
    m_structureDirty = true;
    redraw();
    refreshSaveNotice();
    refreshNetworkNotice();
    m_freshForShow = !isVisible();
}

// ---- Drawing --------------------------------------------------------------------------------

RowSettings PopoverView::rowSettings() const
{
    const AppSettings *settings = m_state ? m_state->widgetLayoutDefaults() : nullptr;
    if (!settings)
        return {};
    return RowSettings{settings->compactMode(), settings->showSparklines()};
}

void PopoverView::redraw()
{
    if (!m_state)
        return;
    QList<QWidget *> shows;
    if (m_structureDirty) {
        rebuildStructure(shows);
    } else {
        for (const QUuid &id : std::as_const(m_dirty)) {
            const qsizetype index = m_column->indexOf(id);
            if (index >= 0)
                redrawSource(index, false, shows);
        }
    }
    m_column->showTogether(shows);
    m_dirty.clear();
    m_structureDirty = false;
    fillList();
    orderTabs();
    m_header->refresh(m_ticker->now());
    fitHeight();
}

void PopoverView::rebuildStructure(QList<QWidget *> &shows)
{
    const RowSettings settings = rowSettings();
    const bool settingsChanged = !(settings == m_rowSettings);
    m_rowSettings = settings;

    QHash<QUuid, const AnySourceConfig *> sources;
    // Of two sources with one id the first is shown, as the row model does.
    for (auto it = m_state->sources().crbegin(); it != m_state->sources().crend(); ++it)
        sources.insert(it->id(), &*it);
    const QList<QUuid> order = m_state->widgetLayout().orderedSources(m_state->sources());

    QList<AnySourceConfig> ordered;
    ordered.reserve(order.size());
    for (const QUuid &id : order)
        ordered.append(*sources.value(id));
    m_column->setSources(ordered);
    for (qsizetype index = 0; index < ordered.size(); ++index)
        redrawSource(index, settingsChanged, shows);
    refreshChrome();
}

qsizetype PopoverView::rowCount() const
{
    return m_column->rowCount();
}

// Sources out of sight only count their rows; their blocks read the state when they are made.
void PopoverView::redrawSource(qsizetype index, bool force, QList<QWidget *> &shows)
{
    const WidgetLayout &layout = m_state->widgetLayout();
    const AnySourceConfig &source = m_column->sourceAt(index);
    SourceBlock *block = m_column->blockAt(index);
    if (!block) {
        m_column->setRowCount(index, PopoverRows::rowCount(source, m_state->errors(), m_state->snapshots(), layout,
                                                           layout.collapsed));
        return;
    }
    const QList<PopoverRows::Row> rows =
        PopoverRows::rows(source, m_state->errors(), m_state->snapshots(), layout, layout.collapsed);
    setBlockRows(block, rows, force, shows);
    m_column->setRowCount(index, rows.size());
}

void PopoverView::setBlockRows(SourceBlock *block, const QList<PopoverRows::Row> &rows, bool force,
                               QList<QWidget *> &shows)
{
    const QUuid id = block->source().id();
    QPointer<PopoverView> self(this);
    block->setRows(rows, m_state->latencyHistory(), m_rowSettings, [self, id] {
        if (self)
            self->toggleCollapsed(id);
    }, shows, force);
}

// Makes the blocks in and a screen around the visible part of the list, or all of them while
// the list is short enough to be measured whole, and places them.
void PopoverView::fillList()
{
    if (!m_state)
        return;
    int top = std::numeric_limits<int>::min() / 2;
    int bottom = std::numeric_limits<int>::max() / 2;
    if (m_column->rowCount() >= scrollingRowCount) {
        // The viewport is never taller than the popup, which may not be laid out yet.
        top = m_scroll->verticalScrollBar()->value() - m_column->y() - maximumHeight;
        bottom = top + 3 * maximumHeight;
    }
    if (m_column->fill(top, bottom))
        orderTabs();
}

// Tab follows the eye: the refresh button, the rows from the top, the empty list's button,
// then the toolbar.
void PopoverView::orderTabs()
{
    QWidget *previous = m_header->refreshButton();
    const QList<QWidget *> toolbar{m_addFirstSource, m_toolbar->settingsButton(), m_toolbar->pauseButton(),
                                   m_toolbar->quitButton()};
    for (QWidget *stop : m_column->tabStops() + toolbar) {
        QWidget::setTabOrder(previous, stop);
        previous = stop;
    }
}

void PopoverView::toggleCollapsed(const QUuid &id)
{
    if (!m_state)
        return;
    WidgetLayout layout = m_state->widgetLayout();
    const QString text = uuidText(id);
    if (!layout.collapsed.remove(text))
        layout.collapsed.insert(text);
    m_state->setWidgetLayout(layout);
}

// The parts around the rows: empty state, banner, opacity and the pause button.
void PopoverView::refreshChrome()
{
    const bool hasSources = !m_state->sources().isEmpty();
    const bool paused = m_state->isPaused();
    m_emptyState->setVisible(!hasSources);
    m_scroll->setVisible(hasSources);
    m_banner->setVisible(paused);
    if (paused) {
        if (!m_column->graphicsEffect())
            m_column->setGraphicsEffect(new ListDimming(m_column, pausedListOpacity));
    } else {
        m_column->setGraphicsEffect(nullptr);
    }
    m_toolbar->setPaused(paused);
}

// Plain: everything at its natural height. Scrolling, from ten rows on or when the plain
// layout would pass the height limit and cut rows off: a fixed height with the list scrolling
// between the header and the toolbar.
void PopoverView::fitHeight()
{
    const bool hasSources = m_state && !m_state->sources().isEmpty();
    const int bars = m_header->sizeHint().height() + m_toolbar->sizeHint().height();
    int chrome = bars;
    for (const QLabel *notice : {m_notice, m_saveNotice, m_networkNotice, m_notificationNotice}) {
        if (!notice->isHidden())
            chrome += notice->heightForWidth(popoverWidth);
    }
    // Ten rows always scroll, so only a shorter list is measured: the cost stays small
    // however many sources there are.
    int listHeight = 0;
    if (hasSources && rowCount() < scrollingRowCount) {
        // Rows that came and went post their layout requests; measure only after they ran.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        QLayout *list = m_list->layout();
        list->activate();
        listHeight = list->hasHeightForWidth() ? list->totalHeightForWidth(popoverWidth) : list->totalSizeHint().height();
    }
    const int limit = heightLimit();
    m_scrolling = hasSources && (rowCount() >= scrollingRowCount || chrome + listHeight > limit);
    if (!hasSources) {
        // Measured at the popup's own width: adjustSize() would measure the wrapping notices
        // at their one-line width and squeeze the empty list under them.
        if (isVisible() || m_freshForShow) {
            QLayout *whole = layout();
            whole->activate();
            resize(popoverWidth, whole->hasHeightForWidth() ? whole->totalHeightForWidth(popoverWidth)
                                                            : whole->totalSizeHint().height());
        }
        return;
    }
    // Notices come on top of the fixed height, up to the limit.
    const int scrollingList = std::max(std::min(scrollingHeight - bars, limit - chrome), 60);
    const int scrollHeight = m_scrolling ? scrollingList : listHeight;
    m_scroll->setVerticalScrollBarPolicy(m_scrolling ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
    if (m_scroll->height() != scrollHeight || m_scroll->minimumHeight() != scrollHeight)
        m_scroll->setFixedHeight(scrollHeight);
    // Set rather than asked of the layout, which would measure every row. The layout's minimum
    // follows the list's new height first, or a shorter popup would be held at the old one.
    const int height = chrome + scrollHeight;
    if ((isVisible() || m_freshForShow) && this->height() != height) {
        layout()->activate();
        resize(popoverWidth, height);
    }
}

// ---- Notices ----------------------------------------------------------------------------------

void PopoverView::refreshSaveNotice()
{
    QStringList lines;
    if (m_state && !m_state->sourcesSaveError().isEmpty())
        lines.append(m_state->unsavedSourcesText());
    if (m_state && !m_state->storageNotice().isEmpty())
        lines.append(m_state->storageNotice());
    m_saveNotice->setText(lines.join(QLatin1Char('\n')));
    m_saveNotice->setVisible(!lines.isEmpty());
    fitHeight();
}

void PopoverView::refreshNetworkNotice()
{
    const bool withoutNetwork = m_state && m_state->isWithoutNetwork();
    m_networkNotice->setText(withoutNetwork ? networkNoticeText : QString());
    m_networkNotice->setVisible(withoutNetwork);
    fitHeight();
}

void PopoverView::checkNotifications()
{
    const std::shared_ptr<AlertCenter> center = m_state ? m_state->alertCenter() : nullptr;
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
