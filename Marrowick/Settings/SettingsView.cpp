#include "Marrowick/Settings/SettingsView.h"

#include "Marrowick/State/AppSettings.h"
#include "Marrowick/State/AppState.h"
#include "Marrowick/Editor/AddSourceView.h"
#include "Marrowick/Style/RelativeTimeText.h"
#include "Marrowick/Settings/SettingsWindowFront.h"
#include "Marrowick/Settings/SourceRow.h"
#include "Marrowick/Settings/SourceRowModel.h"
#include "Marrowick/Style/AccessibleRoles.h"
#include "Marrowick/Style/FocusedButton.h"
#include "Marrowick/Style/KeyboardScrolling.h"
#include "Marrowick/Style/LazyColumn.h"
#include "Marrowick/Style/MarrowickStyle.h"
#include "Marrowick/Style/PillButton.h"
#include "Marrowick/Style/Symbol.h"
#include "Marrowick/Style/WarningLabel.h"
#include "Marrowick/Style/WindowFit.h"
#include "MarrowickKit/Model/UuidText.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDrag>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMimeData>
#include <QPainter>
#include <QPainterPath>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>

namespace marrowick {

namespace {

const QString sourceMimeType = QStringLiteral("application/x-marrowick-source-id");

// A tab of the bar: its title on the accent capsule when selected, plain text otherwise.
// Checked buttons that exclude each other read as radio buttons, so it says it is a tab.
class TabButton : public QAbstractButton {
public:
    TabButton(const QString &title, QWidget *parent) : QAbstractButton(parent)
    {
        setAccessibleKind(this, AccessibleKind::pageTab);
        setText(title);
        setAccessibleName(title);
        setCheckable(true);
        setAutoExclusive(true);
        setAccessibleChosen(this, false);
        connect(this, &QAbstractButton::toggled, this, [this](bool chosen) { setAccessibleChosen(this, chosen); });
        setCursor(Qt::PointingHandCursor);
        QFont semibold = font();
        semibold.setWeight(QFont::DemiBold);
        setFont(semibold);
    }
    QSize sizeHint() const override
    {
        return QSize(fontMetrics().horizontalAdvance(text()) + 32, fontMetrics().height() + 12);
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const QRectF area = QRectF(rect());
        QColor ink = palette().color(QPalette::WindowText);
        // The chosen tab's fill must stand out of the bar, and its title out of the fill,
        // whatever the accent.
        if (isChecked()) {
            const QColor fill = marrowickAccentFill(this);
            p.setPen(Qt::NoPen);
            p.setBrush(fill);
            p.drawRoundedRect(area, area.height() / 2, area.height() / 2);
            ink = inkOn(fill);
        } else {
            ink.setAlphaF(0.6);
        }
        if (hasFocus()) {
            // On the chosen tab the ring takes its title's colour inside the fill, which then
            // lies on both of its sides.
            const qreal inset = isChecked() ? 3 : 1;
            p.setPen(QPen(isChecked() ? ink : marrowickAccentMark(this), 1.5));
            p.setBrush(Qt::NoBrush);
            p.drawRoundedRect(area.adjusted(inset, inset, -inset, -inset), area.height() / 2 - inset,
                              area.height() / 2 - inset);
        }
        p.setPen(ink);
        p.drawText(rect(), Qt::AlignCenter, text());
    }
};

// The capsule that holds the tab buttons.
class TabBar : public QWidget {
public:
    static constexpr qreal fillOpacity = 0.04;

    explicit TabBar(QWidget *parent) : QWidget(parent)
    {
        setAccessibleKind(this, AccessibleKind::pageTabList);
        markSurface(this, fillOpacity);
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        QColor fill = palette().color(QPalette::WindowText);
        fill.setAlphaF(fillOpacity);
        p.setPen(Qt::NoPen);
        p.setBrush(fill);
        const QRectF area = QRectF(rect());
        p.drawRoundedRect(area, area.height() / 2, area.height() / 2);
    }
};

QWidget *centred(QWidget *child, QWidget *parent, int vertical)
{
    auto *bar = new QWidget(parent);
    auto *row = new QHBoxLayout(bar);
    row->setContentsMargins(20, vertical, 20, vertical);
    row->addStretch();
    row->addWidget(child);
    row->addStretch();
    return bar;
}

} // namespace

// The cards' container: it takes a dragged card and shows where it will land. Only the cards
// near the visible part of the list exist; the column stands in for the others.
class SourcesListPanel : public QWidget {
public:
    static constexpr int cardSpacing = 8;
    // A card with its two lines of text, until the first cards have been measured.
    static constexpr int cardHeight = 60;

    SourcesListPanel(SettingsView *view, LazyColumn::Make make, QWidget *parent) : QWidget(parent), m_view(view)
    {
        setAcceptDrops(true);
        auto *layout = new QVBoxLayout(this);
        layout->setContentsMargins(16, 4, 16, 4);
        layout->setSpacing(0);
        m_column =
            new LazyColumn(SettingsView::windowSize.width() - 32, cardHeight, cardSpacing, std::move(make), this);
        layout->addWidget(m_column);
        layout->addStretch();
    }

    LazyColumn *column() const { return m_column; }

    // The position a drop at `y` lands before: the first card whose middle lies below it.
    qsizetype destination(int y) const { return m_column->insertionIndex(y - m_column->y()); }

protected:
    void dragEnterEvent(QDragEnterEvent *event) override
    {
        if (event->mimeData()->hasFormat(sourceMimeType))
            event->acceptProposedAction();
    }
    void dragMoveEvent(QDragMoveEvent *event) override
    {
        if (!event->mimeData()->hasFormat(sourceMimeType))
            return;
        event->acceptProposedAction();
        m_indicator = destination(event->position().toPoint().y());
        update();
    }
    void dragLeaveEvent(QDragLeaveEvent *) override
    {
        m_indicator.reset();
        update();
    }
    void dropEvent(QDropEvent *event) override
    {
        m_indicator.reset();
        update();
        const auto id = parseUuid(QString::fromLatin1(event->mimeData()->data(sourceMimeType)));
        const qsizetype from = id ? m_column->indexOf(*id) : -1;
        if (from < 0)
            return;
        event->acceptProposedAction();
        m_view->moveSources({from}, destination(event->position().toPoint().y()));
    }
    void paintEvent(QPaintEvent *) override
    {
        if (!m_indicator)
            return;
        int y = 4;
        if (*m_indicator < m_column->size())
            y = m_column->y() + m_column->entryTop(*m_indicator) - cardSpacing / 2;
        else if (m_column->size() > 0)
            y = m_column->y() + m_column->entryTop(m_column->size() - 1) + m_column->entryHeight(m_column->size() - 1)
                + cardSpacing / 2;
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(marrowickAccentMark(this), 2, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(20, y), QPointF(width() - 20, y));
    }

private:
    SettingsView *m_view;
    LazyColumn *m_column;
    std::optional<qsizetype> m_indicator;
};

QString SettingsView::tabTitle(SettingsTab tab)
{
    return tab == SettingsTab::sources ? QStringLiteral("Sources") : QStringLiteral("General");
}

QString SettingsView::tabIdentifier(SettingsTab tab)
{
    return QStringLiteral("settings.tab.") + tabTitle(tab).toLower();
}

SettingsView::SettingsView(AppState *state, QStringList arguments, GeneralSettingsServices services, QWidget *parent)
    : QWidget(parent), m_state(state), m_arguments(std::move(arguments)), m_services(std::move(services)),
      m_ticker(new RelativeTimeTicker(this))
{
    setObjectName(settingsWindowIdentifier);
    setWindowTitle(QStringLiteral("Marrowick Settings"));
    WindowFit::apply(this, windowSize);

    m_content = new QVBoxLayout(this);
    m_content->setContentsMargins(0, 0, 0, 0);
    m_content->setSpacing(0);

    auto *bar = new TabBar(this);
    auto *buttons = new QHBoxLayout(bar);
    buttons->setContentsMargins(4, 4, 4, 4);
    buttons->setSpacing(2);
    for (const SettingsTab tab : {SettingsTab::sources, SettingsTab::general}) {
        auto *button = new TabButton(tabTitle(tab), bar);
        button->setObjectName(tabIdentifier(tab));
        button->setChecked(tab == m_tab);
        connect(button, &QAbstractButton::clicked, this, [this, tab] { setTab(tab); });
        buttons->addWidget(button);
        m_tabButtons[static_cast<size_t>(tab)] = button;
    }
    m_content->addWidget(centred(bar, this, 12));

    m_saveNotice = makeWarningLabel(QStringLiteral("settings.saveNotice"), this);
    m_saveNotice->setContentsMargins(20, 0, 20, 8);
    m_content->addWidget(m_saveNotice);

    m_sourcesTab = buildSourcesTab();
    m_content->addWidget(m_sourcesTab, 1);

    connect(state, &AppState::sourcesChanged, this, &SettingsView::refreshSources);
    // A poll redraws the polled source's card alone, so its cost does not grow with the list.
    connect(state, &AppState::sourceResultChanged, this, &SettingsView::refreshSourceResult);
    connect(state, &AppState::widgetLayoutChanged, this, &SettingsView::refreshSources);
    connect(state, &AppState::sourcesSaveErrorChanged, this, &SettingsView::refreshSaveNotice);
    connect(state->widgetLayoutDefaults(), &AppSettings::writeErrorChanged, this, &SettingsView::refreshSaveNotice);
    rebuildSources();
    refreshSaveNotice();
}

SettingsView::~SettingsView() = default;

QWidget *SettingsView::buildSourcesTab()
{
    auto *tab = new QWidget(this);
    auto *column = new QVBoxLayout(tab);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    m_scroll = new QScrollArea(tab);
    m_scroll->setWidgetResizable(true);
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    KeyboardScrolling::apply(m_scroll);
    m_list = new SourcesListPanel(this, [this](qsizetype index, QList<QWidget *> &shows) {
        return makeCard(index, shows);
    }, m_scroll);
    m_scroll->setWidget(m_list);
    connect(m_scroll->verticalScrollBar(), &QScrollBar::valueChanged, this, &SettingsView::fillSources);
    // A card that shrank may bring the next ones into reach.
    connect(m_list->column(), &LazyColumn::heightsChanged, this, &SettingsView::fillSources);
    m_scroll->viewport()->setAutoFillBackground(false);
    m_list->setAutoFillBackground(false);
    column->addWidget(m_scroll, 1);

    // In the viewport, not on the scroll area beside it, or the tree would leave it out.
    m_emptyState = new QWidget(m_scroll->viewport());
    m_emptyState->setObjectName(emptyStateIdentifier);
    auto *empty = new QVBoxLayout(m_emptyState);
    empty->setSpacing(10);
    auto *rack = new SymbolView(Symbol::serverRack, 44, m_emptyState);
    rack->setColor(QColor(128, 128, 128));
    empty->addWidget(rack, 0, Qt::AlignHCenter);
    auto *title = new QLabel(QStringLiteral("No Sources Yet"), m_emptyState);
    QFont bold = title->font();
    bold.setPointSizeF(bold.pointSizeF() * 1.3);
    bold.setBold(true);
    title->setFont(bold);
    empty->addWidget(title, 0, Qt::AlignHCenter);
    auto *description =
        new QLabel(QStringLiteral("Marrowick watches the services, hosts, and game servers you add here."), m_emptyState);
    description->setWordWrap(true);
    description->setAlignment(Qt::AlignCenter);
    QPalette secondary = description->palette();
    QColor gray = secondary.color(QPalette::WindowText);
    gray.setAlphaF(0.6);
    secondary.setColor(QPalette::WindowText, gray);
    description->setPalette(secondary);
    empty->addWidget(description);
    auto *first = new PillButton(QStringLiteral("Add Your First Source"), PillButton::Kind::prominent, m_emptyState);
    first->setSymbol(Symbol::plus);
    connect(first, &QAbstractButton::clicked, this, &SettingsView::showAddSource);
    empty->addSpacing(4);
    empty->addWidget(first, 0, Qt::AlignHCenter);
    m_emptyState->setFixedWidth(320);

    auto *add = new PillButton(QStringLiteral("Add Source\u2026"), PillButton::Kind::prominent, tab);
    add->setObjectName(addButtonIdentifier);
    add->setSymbol(Symbol::plus);
    connect(add, &QAbstractButton::clicked, this, &SettingsView::showAddSource);
    m_firstSourceButton = first;
    m_addButton = add;
    auto *addBar = new QWidget(tab);
    auto *addRow = new QHBoxLayout(addBar);
    addRow->setContentsMargins(20, 12, 20, 12);
    addRow->addStretch();
    addRow->addWidget(add);
    column->addWidget(addBar);
    return tab;
}

void SettingsView::setTab(SettingsTab tab)
{
    m_tabButtons[static_cast<size_t>(tab)]->setChecked(true);
    if (tab == m_tab)
        return;
    m_tab = tab;
    if (tab == SettingsTab::general) {
        m_sourcesTab->hide();
        m_general = new GeneralSettingsView(m_state, m_services, this);
        connect(m_general, &GeneralSettingsView::showWelcomeRequested, this, &SettingsView::showWelcomeRequested);
        m_content->addWidget(m_general, 1);
        m_general->show();
    } else {
        // The General tab starts afresh each time it is chosen.
        delete m_general;
        m_sourcesTab->show();
        fillSources();
    }
}

QAbstractButton *SettingsView::tabButton(SettingsTab tab) const
{
    return m_tabButtons[static_cast<size_t>(tab)];
}

QList<AnySourceConfig> SettingsView::orderedSources() const
{
    QList<AnySourceConfig> ordered;
    if (!m_state)
        return ordered;
    const QList<AnySourceConfig> &sources = m_state->sources();
    QHash<QUuid, qsizetype> firstOf;
    for (qsizetype i = sources.size() - 1; i >= 0; --i)
        firstOf.insert(sources[i].id(), i);
    for (const QUuid &id : m_state->widgetLayout().orderedSources(sources)) {
        const auto found = firstOf.constFind(id);
        if (found != firstOf.cend())
            ordered.append(sources[*found]);
    }
    return ordered;
}

void SettingsView::moveSources(const QList<qsizetype> &fromOffsets, qsizetype toOffset)
{
    if (!m_state)
        return;
    WidgetLayout layout = m_state->widgetLayout();
    layout.moveSources(fromOffsets, toOffset, m_state->sources());
    m_state->setWidgetLayout(layout);
}

void SettingsView::deleteSources(const QList<qsizetype> &offsets)
{
    const QList<AnySourceConfig> ordered = orderedSources();
    QList<qsizetype> sorted = offsets;
    std::sort(sorted.begin(), sorted.end());
    QList<QUuid> ids;
    for (const qsizetype offset : sorted) {
        if (offset >= 0 && offset < ordered.size())
            ids.append(ordered[offset].id());
    }
    for (const QUuid &id : ids)
        deleteSource(id);
}

void SettingsView::toggleAlerts(const QUuid &id)
{
    if (!m_state)
        return;
    for (const AnySourceConfig &source : m_state->sources()) {
        if (source.id() == id) {
            m_state->updateSource(withAlertsEnabled(source, !alertsEnabled(m_state->sources(), id)));
            return;
        }
    }
}

void SettingsView::deleteSource(const QUuid &id)
{
    if (!m_state)
        return;
    // Which of the card's buttons held the focus: the card that takes the deleted one's place
    // (the next, or the previous at the end of the list) gets the focus on the same button.
    const SourceRow *deleted = card(id);
    const QWidget *focus = QApplication::focusWidget();
    const qsizetype at = m_list->column()->indexOf(id);
    std::optional<int> button;
    if (deleted && focus && (deleted == focus || deleted->isAncestorOf(focus))) {
        const QList<QWidget *> buttons = cardButtons(deleted);
        button = std::max<int>(0, int(buttons.indexOf(focus)));
    }
    m_state->deleteSource(id);
    if (button)
        focusCardNear(at, *button);
}

QList<QWidget *> SettingsView::cardButtons(const SourceRow *card)
{
    return {card->editButton(), card->bellButton(), card->trashButton()};
}

void SettingsView::focusCardNear(qsizetype index, int button)
{
    LazyColumn *column = m_list->column();
    const qsizetype nearest = std::min(index, column->size() - 1);
    auto *near = nearest >= 0 ? static_cast<SourceRow *>(column->widgetAt(nearest)) : nullptr;
    if (!near) {
        (m_emptyState->isVisible() ? m_firstSourceButton : m_addButton)->setFocus(Qt::OtherFocusReason);
        return;
    }
    cardButtons(near).at(button)->setFocus(Qt::OtherFocusReason);
    m_scroll->ensureWidgetVisible(near, 0, 0);
}

void SettingsView::showAddSource()
{
    openSheet(std::nullopt);
}

void SettingsView::editSource(const QUuid &id)
{
    if (const AnySourceConfig *source = m_state ? m_state->source(id) : nullptr)
        openSheet(*source);
}

void SettingsView::openSheet(std::optional<AnySourceConfig> source)
{
    // One sheet at a time, as a window shows one sheet.
    if (m_sheet || !m_state)
        return;
    m_editingID = source ? std::optional<QUuid>(source->id()) : std::nullopt;
    m_sheet = new AddSourceView(m_state, std::move(source), this);
    // Closing the sheet ends the edit at once; the dialog deletes itself later.
    connect(m_sheet, &QDialog::finished, this, [this] {
        m_sheet = nullptr;
        m_editingID.reset();
    });
    m_sheet->open();
}

std::optional<QUuid> SettingsView::editingSourceID() const
{
    return m_sheet ? m_editingID : std::nullopt;
}

QList<SourceRow *> SettingsView::cards() const
{
    QList<SourceRow *> shown;
    for (QWidget *widget : m_list->column()->widgets())
        shown.append(static_cast<SourceRow *>(widget));
    return shown;
}

SourceRow *SettingsView::card(const QUuid &id) const
{
    return static_cast<SourceRow *>(m_list->column()->widgetOf(id));
}

QStringList SettingsView::sourceLines() const
{
    QStringList lines;
    for (const SourceRow *card : cards())
        lines.append(card->model().name + QStringLiteral(" \u2014 ") + card->model().endpoint);
    return lines;
}

void SettingsView::setClock(std::function<Instant()> now)
{
    m_ticker->setClock(std::move(now));
}

void SettingsView::refreshSources()
{
    // A hidden window does no work; showing it rebuilds the list.
    if (isVisible())
        rebuildSources();
}

// Every source has its place in the list; only the cards near the visible part are made, and
// those there are follow the state.
void SettingsView::rebuildSources()
{
    if (!m_state)
        return;
    LazyColumn *column = m_list->column();
    column->setOrder(m_state->widgetLayout().orderedSources(m_state->sources()), 1);
    const Instant now = m_ticker->now();
    // After a poll only the cards' contents change, and each card redraws only what differs.
    for (SourceRow *card : cards())
        showSource(card, card->model().id, now);
    fillSources();
    orderTabs();

    m_emptyState->setVisible(m_state->sources().isEmpty());
    m_emptyState->adjustSize();
    m_emptyState->move((m_scroll->viewport()->width() - m_emptyState->width()) / 2,
                       (m_scroll->viewport()->height() - m_emptyState->height()) / 2);
}

// The cards in and a screen around the visible part of the list.
void SettingsView::fillSources()
{
    if (!isVisible() || !m_state || m_sourcesTab->isHidden())
        return;
    // The list is never taller than the window, which may not have laid it out yet.
    const int shown = std::max(m_scroll->viewport()->height(), height());
    const int top = m_scroll->verticalScrollBar()->value() - m_list->column()->y() - shown;
    if (m_list->column()->fill(top, top + 3 * shown))
        orderTabs();
}

// Tab goes through the tabs, the cards in the order shown, then the add button.
void SettingsView::orderTabs()
{
    QWidget *previous = m_firstSourceButton;
    QWidget::setTabOrder(tabButton(SettingsTab::general), previous);
    for (const SourceRow *card : cards()) {
        for (QWidget *control : cardButtons(card)) {
            QWidget::setTabOrder(previous, control);
            previous = control;
        }
    }
    QWidget::setTabOrder(previous, m_addButton);
}

void SettingsView::refreshSourceResult(const QUuid &id)
{
    SourceRow *shown = isVisible() && m_state ? card(id) : nullptr;
    if (!shown)
        return;
    SourceRowModel model = shown->model();
    model.readResults(*m_state);
    shown->setModel(model);
}

void SettingsView::refreshSaveNotice()
{
    QStringList lines;
    if (m_state) {
        lines = QStringList{m_state->unsavedSourcesText(), m_state->widgetLayoutDefaults()->unsavedText()};
        lines.removeAll(QString());
    }
    m_saveNotice->setText(lines.join(QLatin1Char('\n')));
    m_saveNotice->setVisible(!lines.isEmpty());
}

QWidget *SettingsView::makeCard(qsizetype index, QList<QWidget *> &shows)
{
    auto *card = new SourceRow(m_list->column());
    connect(card, &SourceRow::editRequested, this, &SettingsView::editSource);
    connect(card, &SourceRow::muteToggled, this, &SettingsView::toggleAlerts);
    connect(card, &SourceRow::deleteRequested, this, &SettingsView::deleteSource);
    connect(card, &SourceRow::dragStarted, this, &SettingsView::startDrag);
    connect(card, &SourceRow::moveRequested, this, &SettingsView::moveByKeyboard);
    showSource(card, m_list->column()->idAt(index), m_ticker->now());
    shows.append(card);
    return card;
}

void SettingsView::showSource(SourceRow *card, const QUuid &id, Instant now) const
{
    if (const AnySourceConfig *source = m_state->source(id)) {
        card->setModel(SourceRowModel::make(*m_state, *source));
        card->setNow(now);
    }
}

void SettingsView::startDrag(const QUuid &id)
{
    SourceRow *dragged = card(id);
    if (!dragged)
        return;
    auto *data = new QMimeData;
    data->setData(sourceMimeType, uuidText(id).toLatin1());
    // The window's, not the card's: the drop may move the card out of reach, which deletes it.
    auto *drag = new QDrag(this);
    drag->setMimeData(data);
    drag->setPixmap(dragged->grab());
    drag->setHotSpot(dragged->mapFromGlobal(QCursor::pos()));
    drag->exec(Qt::MoveAction);
}

void SettingsView::moveByKeyboard(const QUuid &id, int places)
{
    const qsizetype from = m_list->column()->indexOf(id);
    if (from < 0)
        return;
    // A destination is the position the card lands before, so moving down skips one more.
    const qsizetype destination = places < 0 ? from + places : from + places + 1;
    if (destination >= 0 && destination <= m_list->column()->size())
        moveSources({from}, destination);
    if (SourceRow *moved = card(id)) {
        moved->tellPlace(m_list->column()->indexOf(id), m_list->column()->size());
        moved->editButton()->setFocus();
        m_scroll->ensureWidgetVisible(moved, 0, 0);
    }
}

void SettingsView::applyUITestLaunchArguments()
{
    bringSettingsWindowToFront();
    if (!m_arguments.contains(editFirstSourceArgument) || m_sheet || !m_state || m_state->sources().isEmpty())
        return;
    // The stored order, not the order shown.
    openSheet(m_state->sources().first());
}

void SettingsView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    rebuildSources();
    if (!event->spontaneous())
        applyUITestLaunchArguments();
}

void SettingsView::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    // Closed, the window lets its cards go; minimised (a hide by the window system) it keeps them.
    if (!event->spontaneous())
        m_list->column()->setOrder({}, 1);
}

void SettingsView::keyPressEvent(QKeyEvent *event)
{
    // Escape and Ctrl+W close the window, as its title bar's button does, and Return presses
    // the focused button, unless a control under the focus took the key.
    if (event->matches(QKeySequence::Cancel) || event->matches(QKeySequence::Close)) {
        close();
        return;
    }
    // Held down, Return presses once: the focus goes on to the next card's button.
    if (confirmFocusedButton(this, event))
        return;
    QWidget::keyPressEvent(event);
}

void SettingsView::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    fillSources();
}

} // namespace marrowick
