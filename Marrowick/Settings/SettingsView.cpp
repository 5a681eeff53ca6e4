#include "Marrowick/Settings/SettingsView.h"

#include "Marrowick/State/AppSettings.h"
#include "Marrowick/State/AppState.h"
#include "Marrowick/Editor/AddSourceView.h"
#include "Marrowick/Style/RelativeTimeText.h"
#include "Marrowick/Settings/SettingsWindowFront.h"
#include "Marrowick/Settings/SourceRow.h"
#include "Marrowick/Settings/SourceRowModel.h"
#include "Marrowick/Style/MarrowickStyle.h"
#include "Marrowick/Style/PillButton.h"
#include "Marrowick/Style/Symbol.h"
#include "Marrowick/Style/WarningLabel.h"
#include "Marrowick/Style/WindowFit.h"
#include "MarrowickKit/Model/UuidText.h"

#include <QAbstractButton>
#include <QDrag>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QMimeData>
#include <QPainter>
#include <QPainterPath>
#include <QScrollArea>
#include <QVBoxLayout>

namespace marrowick {

namespace {

const QString sourceMimeType = QStringLiteral("application/x-marrowick-source-id");

// A tab of the bar: its title on the accent capsule when selected, plain text otherwise.
class TabButton : public QAbstractButton {
public:
    TabButton(const QString &title, QWidget *parent) : QAbstractButton(parent)
    {
        setText(title);
        setAccessibleName(title);
        setCheckable(true);
        setAutoExclusive(true);
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
            p.setPen(QPen(isChecked() ? ink : marrowickAccentMark(this), 1.5));
            p.setBrush(Qt::NoBrush);
            p.drawRoundedRect(area.adjusted(1, 1, -1, -1), area.height() / 2 - 1, area.height() / 2 - 1);
        }
        p.setPen(ink);
        p.drawText(rect(), Qt::AlignCenter, text());
    }
};

// The capsule that holds the tab buttons.
class TabBar : public QWidget {
public:
    static constexpr qreal fillOpacity = 0.04;

    explicit TabBar(QWidget *parent) : QWidget(parent) { markSurface(this, fillOpacity); }

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

// The cards' container: it takes a dragged card and shows where it will land.
class SourcesListPanel : public QWidget {
public:
    SourcesListPanel(SettingsView *view, QWidget *parent) : QWidget(parent), m_view(view)
    {
        setAcceptDrops(true);
        m_layout = new QVBoxLayout(this);
        m_layout->setContentsMargins(16, 4, 16, 4);
        m_layout->setSpacing(8);
        m_layout->addStretch();
    }

    QVBoxLayout *cardsLayout() const { return m_layout; }

    // The position a drop at `y` lands before: the first card whose middle lies below it.
    qsizetype destination(int y) const
    {
        const QList<SourceRow *> cards = m_view->cards();
        for (qsizetype i = 0; i < cards.size(); ++i) {
            if (y < cards[i]->geometry().center().y())
                return i;
        }
        return cards.size();
    }

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
        if (!id)
            return;
        const QList<AnySourceConfig> ordered = m_view->orderedSources();
        for (qsizetype i = 0; i < ordered.size(); ++i) {
            if (ordered[i].id() == *id) {
                event->acceptProposedAction();
                m_view->moveSources({i}, destination(event->position().toPoint().y()));
                return;
            }
        }
    }
    void paintEvent(QPaintEvent *) override
    {
        if (!m_indicator)
            return;
        const QList<SourceRow *> cards = m_view->cards();
        int y = 4;
        if (*m_indicator < cards.size())
            y = cards[*m_indicator]->geometry().top() - 4;
        else if (!cards.isEmpty())
            y = cards.last()->geometry().bottom() + 4;
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(marrowickAccentMark(this), 2, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(20, y), QPointF(width() - 20, y));
    }

private:
    SettingsView *m_view;
    QVBoxLayout *m_layout;
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
    m_list = new SourcesListPanel(this, m_scroll);
    m_scroll->setWidget(m_list);
    m_scroll->viewport()->setAutoFillBackground(false);
    m_list->setAutoFillBackground(false);
    column->addWidget(m_scroll, 1);

    m_emptyState = new QWidget(m_scroll);
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
    if (m_state)
        m_state->deleteSource(id);
}

void SettingsView::showAddSource()
{
    openSheet(std::nullopt);
}

void SettingsView::editSource(const QUuid &id)
{
    for (const AnySourceConfig &source : orderedSources()) {
        if (source.id() == id) {
            openSheet(source);
            return;
        }
    }
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
    QVBoxLayout *layout = m_list->cardsLayout();
    for (int i = 0; i < layout->count(); ++i) {
        if (auto *card = qobject_cast<SourceRow *>(layout->itemAt(i)->widget()))
            shown.append(card);
    }
    return shown;
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

void SettingsView::rebuildSources()
{
    if (!m_state)
        return;
    const QList<AnySourceConfig> ordered = orderedSources();
    QList<QUuid> shownOrder;
    for (const SourceRow *card : cards())
        shownOrder.append(card->model().id);
    QList<QUuid> order;
    for (const AnySourceConfig &source : ordered)
        order.append(source.id());

    const Instant now = m_ticker->now();
    if (order == shownOrder) {
        // After a poll only the cards' contents change, and each card redraws only what differs.
        for (qsizetype i = 0; i < ordered.size(); ++i)
            m_cards.value(order[i])->setModel(SourceRowModel::make(*m_state, ordered[i]));
    } else {
        QHash<QUuid, SourceRow *> kept;
        QVBoxLayout *layout = m_list->cardsLayout();
        for (SourceRow *card : cards())
            layout->removeWidget(card);
        for (qsizetype i = 0; i < ordered.size(); ++i) {
            SourceRow *card = m_cards.take(order[i]);
            if (!card)
                card = makeCard();
            card->setModel(SourceRowModel::make(*m_state, ordered[i]));
            card->setNow(now);
            layout->insertWidget(static_cast<int>(i), card);
            kept.insert(order[i], card);
        }
        qDeleteAll(m_cards);
        m_cards = kept;
    }

    m_emptyState->setVisible(m_state->sources().isEmpty());
    m_emptyState->adjustSize();
    m_emptyState->move((m_scroll->width() - m_emptyState->width()) / 2,
                       (m_scroll->height() - m_emptyState->height()) / 2);
}

void SettingsView::refreshSourceResult(const QUuid &id)
{
    SourceRow *card = isVisible() && m_state ? m_cards.value(id) : nullptr;
    if (!card)
        return;
    SourceRowModel model = card->model();
    model.readResults(*m_state);
    card->setModel(model);
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

SourceRow *SettingsView::makeCard()
{
    auto *card = new SourceRow(m_list);
    connect(card, &SourceRow::editRequested, this, &SettingsView::editSource);
    connect(card, &SourceRow::muteToggled, this, &SettingsView::toggleAlerts);
    connect(card, &SourceRow::deleteRequested, this, &SettingsView::deleteSource);
    connect(card, &SourceRow::dragStarted, this, &SettingsView::startDrag);
    connect(card, &SourceRow::moveRequested, this, &SettingsView::moveByKeyboard);
    return card;
}

void SettingsView::startDrag(const QUuid &id)
{
    SourceRow *card = m_cards.value(id);
    if (!card)
        return;
    auto *data = new QMimeData;
    data->setData(sourceMimeType, uuidText(id).toLatin1());
    auto *drag = new QDrag(card);
    drag->setMimeData(data);
    drag->setPixmap(card->grab());
    drag->setHotSpot(card->mapFromGlobal(QCursor::pos()));
    drag->exec(Qt::MoveAction);
}

void SettingsView::moveByKeyboard(const QUuid &id, int places)
{
    const QList<AnySourceConfig> ordered = orderedSources();
    for (qsizetype i = 0; i < ordered.size(); ++i) {
        if (ordered[i].id() != id)
            continue;
        // A destination is the position the card lands before, so moving down skips one more.
        const qsizetype destination = places < 0 ? i + places : i + places + 1;
        if (destination >= 0 && destination <= ordered.size())
            moveSources({i}, destination);
        if (SourceRow *card = m_cards.value(id))
            card->editButton()->setFocus();
        return;
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

} // namespace marrowick
