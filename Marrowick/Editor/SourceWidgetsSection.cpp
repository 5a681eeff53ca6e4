#include "Marrowick/Editor/SourceWidgetsSection.h"

#include "Marrowick/State/AppSettings.h"

#include "Marrowick/State/AppState.h"
#include "Marrowick/Editor/LabeledFields.h"
#include "Marrowick/Style/AccessibleRoles.h"
#include "Marrowick/Style/ListPlace.h"
#include "Marrowick/Style/MarrowickStyle.h"
#include "Marrowick/Style/Symbol.h"
#include "Marrowick/Style/WarningLabel.h"

#include <QApplication>
#include <QGraphicsOpacityEffect>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QPainterPath>
#include <QShortcut>
#include <QToolButton>
#include <QVBoxLayout>

namespace marrowick {

namespace {

// The list's rounded card behind its rows.
class WidgetList : public QListWidget {
public:
    using QListWidget::QListWidget;

protected:
    void paintEvent(QPaintEvent *event) override
    {
        {
            QPainter painter(viewport());
            painter.setRenderHint(QPainter::Antialiasing);
            const QRectF area = QRectF(viewport()->rect()).adjusted(0.5, 0.5, -0.5, -0.5);
            QPainterPath card;
            card.addRoundedRect(area, 12, 12);
            painter.fillPath(card, cardFill(palette()));
            paintCardOutline(painter, area, 12, palette());
        }
        QListWidget::paintEvent(event);
    }
};

const QString visibilityName = QStringLiteral("editor.widgetVisibility");

// The name, the eye and the fading of a row, for the widget and whether it is hidden. A poll
// redraws every row: a screen reader hears of a name only when it changed.
void showEntry(QWidget *row, const WidgetEntry &entry, bool hidden)
{
    const QString name = entry.widget.displayName();
    row->findChild<QLabel *>()->setText(name);
    auto *eye = row->findChild<QToolButton *>(visibilityName);
    eye->setIcon(symbolIcon(hidden ? Symbol::eyeSlash : Symbol::eye, row->palette().color(QPalette::WindowText)));
    setAccessibleNameIfChanged(eye, (hidden ? QStringLiteral("Show ") : QStringLiteral("Hide ")) + name);
    eye->setToolTip(eye->accessibleName());
    static_cast<QGraphicsOpacityEffect *>(row->graphicsEffect())->setOpacity(hidden ? 0.5 : 1.0);
}

QWidget *makeRow(const WidgetEntry &entry, bool hidden, QWidget *parent, const std::function<void()> &toggle)
{
    auto *row = new QWidget(parent);
    row->setObjectName(QStringLiteral("editor.widget:") + entry.key);
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(10, 4, 10, 4);
    auto *name = new QLabel(row);
    name->setTextFormat(Qt::PlainText);
    layout->addWidget(name, 1);
    auto *eye = new QToolButton(row);
    eye->setObjectName(visibilityName);
    eye->setAutoRaise(true);
    QObject::connect(eye, &QToolButton::clicked, row, toggle);
    layout->addWidget(eye);
    row->setGraphicsEffect(new QGraphicsOpacityEffect(row));
    showEntry(row, entry, hidden);
    return row;
}

QStringList keysOf(const QList<WidgetEntry> &entries)
{
    QStringList keys;
    for (const WidgetEntry &entry : entries)
        keys.append(entry.key);
    return keys;
}

} // namespace

SourceWidgetsSection::SourceWidgetsSection(AppState *state, AnySourceConfig source, QWidget *parent)
    : QWidget(parent), m_state(state), m_source(std::move(source))
{
    setObjectName(QStringLiteral("editor.widgets"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);
    auto *heading = new QLabel(QStringLiteral("Widgets"), this);
    styleCaption(heading, true, true, true);
    layout->addWidget(heading);
    m_empty = new QLabel(QStringLiteral("Widgets appear after this source's first successful poll."), this);
    m_empty->setObjectName(QStringLiteral("editor.widgetsEmpty"));
    m_empty->setWordWrap(true);
    styleCaption(m_empty, false, true);
    layout->addWidget(m_empty);

    m_list = new WidgetList(this);
    m_list->setObjectName(QStringLiteral("editor.widgetList"));
    m_list->setAccessibleName(heading->text());
    m_list->setFixedHeight(listHeight);
    m_list->setFrameShape(QFrame::NoFrame);
    m_list->viewport()->setAutoFillBackground(false);
    // The card it paints lies under its rows: the eyes' focus rings stand out of that.
    markSurface(m_list->viewport(), cardFillOpacity);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setDragDropMode(QAbstractItemView::InternalMove);
    m_list->setDefaultDropAction(Qt::MoveAction);
    m_list->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    layout->addWidget(m_list);
    for (const int places : {-1, 1}) {
        auto *keys = new QShortcut(places < 0 ? ListPlace::moveUp : ListPlace::moveDown, m_list);
        keys->setContext(Qt::WidgetWithChildrenShortcut);
        connect(keys, &QShortcut::activated, this, [this, places] { moveByKeyboard(places); });
    }
    m_unsaved = makeWarningLabel(QStringLiteral("editor.widgetsUnsaved"), this);
    layout->addWidget(m_unsaved);

    // After the drop has finished, whether the list moved its row or re-inserted it.
    connect(m_list->model(), &QAbstractItemModel::rowsMoved, this, &SourceWidgetsSection::syncOrderFromList,
            Qt::QueuedConnection);
    connect(m_list->model(), &QAbstractItemModel::rowsInserted, this, &SourceWidgetsSection::syncOrderFromList,
            Qt::QueuedConnection);
    // Rebuilt after the event that changed the layout, never inside a drop the list is handling.
    connect(state, &AppState::snapshotsChanged, this, &SourceWidgetsSection::refresh, Qt::QueuedConnection);
    connect(state, &AppState::widgetLayoutChanged, this, &SourceWidgetsSection::refresh, Qt::QueuedConnection);
    connect(state->widgetLayoutDefaults(), &AppSettings::writeErrorChanged, this,
            &SourceWidgetsSection::refreshUnsaved);
    refresh();
    refreshUnsaved();
}

void SourceWidgetsSection::refreshUnsaved()
{
    const QString text = m_state ? m_state->widgetLayoutDefaults()->unsavedText() : QString();
    m_unsaved->setText(text);
    m_unsaved->setVisible(!text.isEmpty());
}

QList<WidgetEntry> SourceWidgetsSection::entries() const
{
    if (!m_state)
        return {};
    const SourceSnapshot *snapshot = m_state->snapshots().find(m_source.id());
    if (!snapshot)
        return {};
    QList<WidgetEntry> entries;
    for (const WidgetData &widget : snapshot->widgets)
        entries.append({widget.scopedID(m_source.id()), widget});
    return m_state->widgetLayout().orderedEntries(entries);
}

void SourceWidgetsSection::toggleHidden(const QString &key)
{
    if (!m_state)
        return;
    WidgetLayout layout = m_state->widgetLayout();
    if (!layout.hidden.remove(key))
        layout.hidden.insert(key);
    m_state->setWidgetLayout(layout);
}

void SourceWidgetsSection::syncOrderFromList()
{
    // A drop has rearranged the rows on screen; the layout takes their order. Rows the list
    // is still adding or removing (a rebuild) leave nothing to take.
    const QList<WidgetEntry> current = entries();
    QList<WidgetEntry> onScreen;
    for (int row = 0; row < m_list->count(); ++row) {
        const QString key = m_list->item(row)->data(Qt::UserRole).toString();
        const auto entry = std::find_if(current.cbegin(), current.cend(),
                                        [&key](const WidgetEntry &candidate) { return candidate.key == key; });
        if (entry != current.cend())
            onScreen.append(*entry);
    }
    if (onScreen.size() == current.size() && onScreen != current && m_state) {
        // The list already shows that order: nothing to rebuild, so the focus stays put.
        m_shown = onScreen;
        WidgetLayout layout = m_state->widgetLayout();
        layout.moveWidgets({}, 0, onScreen);
        m_state->setWidgetLayout(layout);
    }
}

// The row under the focus moves as a drop would move it: the list keeps its row and the focus,
// and the layout follows. Its new place is told where the focus is, the row or its eye.
void SourceWidgetsSection::moveByKeyboard(int places)
{
    const auto focused = focusedRow();
    const int row = focused ? focused->second : m_list->currentRow();
    const int destination = row + places;
    if (row < 0 || destination < 0 || destination >= m_list->count()
        || !m_list->model()->moveRow(QModelIndex(), row, QModelIndex(), places < 0 ? destination : destination + 1))
        return;
    // Every row says its place, so none is left with an old one; a screen reader reads the
    // focused one's.
    for (int i = 0; i < m_list->count(); ++i) {
        const QString place = ListPlace::description(i, m_list->count());
        m_list->item(i)->setData(Qt::AccessibleDescriptionRole, place);
        if (QWidget *shown = m_list->itemWidget(m_list->item(i))) {
            if (auto *eye = shown->findChild<QToolButton *>())
                eye->setAccessibleDescription(place);
        }
    }
    QListWidgetItem *item = m_list->item(destination);
    if (m_list->hasFocus()) {
        // The current row did not change, so nothing would tell its new place: make it current anew.
        m_list->setCurrentRow(-1);
        m_list->setCurrentRow(destination);
    }
    m_list->scrollToItem(item);
}

void SourceWidgetsSection::refresh()
{
    const QList<WidgetEntry> shown = entries();
    QSet<QString> hidden;
    if (m_state) {
        for (const WidgetEntry &entry : shown) {
            if (m_state->widgetLayout().hidden.contains(entry.key))
                hidden.insert(entry.key);
        }
    }
    m_empty->setVisible(shown.isEmpty());
    m_list->setVisible(!shown.isEmpty());
    if (shown == m_shown && hidden == m_shownHidden && m_list->count() == shown.size())
        return;
    const bool sameRows = keysOf(shown) == keysOf(m_shown) && m_list->count() == shown.size();
    m_shown = shown;
    m_shownHidden = hidden;
    // The same rows in the same order (an eye pressed, a poll's new values) are redrawn where
    // they are, so the focus stays on the eye the user pressed.
    if (sameRows) {
        for (int row = 0; row < m_list->count(); ++row)
            showEntry(m_list->itemWidget(m_list->item(row)), shown[row], hidden.contains(shown[row].key));
        return;
    }
    rebuild();
}

// The row holding the focus, if one does: its key and its position.
std::optional<std::pair<QString, int>> SourceWidgetsSection::focusedRow() const
{
    const QWidget *focus = QApplication::focusWidget();
    for (int row = 0; focus && row < m_list->count(); ++row) {
        const QWidget *widget = m_list->itemWidget(m_list->item(row));
        if (widget && (widget == focus || widget->isAncestorOf(focus)))
            return std::pair(m_list->item(row)->data(Qt::UserRole).toString(), row);
    }
    return std::nullopt;
}

void SourceWidgetsSection::rebuild()
{
    const auto focused = focusedRow();
    m_list->clear();
    for (const WidgetEntry &entry : std::as_const(m_shown)) {
        auto *item = new QListWidgetItem(m_list);
        item->setData(Qt::UserRole, entry.key);
        item->setData(Qt::AccessibleTextRole, entry.widget.displayName());
        QWidget *row = makeRow(entry, m_shownHidden.contains(entry.key), m_list,
                               [this, key = entry.key] { toggleHidden(key); });
        item->setSizeHint(row->sizeHint());
        m_list->setItemWidget(item, row);
    }
    if (!focused || m_shown.isEmpty())
        return;
    // The focus goes back to the eye of the same widget, or of the one now where it was.
    const qsizetype same = keysOf(m_shown).indexOf(focused->first);
    const int row = int(same >= 0 ? same : std::min<qsizetype>(focused->second, m_shown.size() - 1));
    m_list->itemWidget(m_list->item(row))->findChild<QToolButton *>(visibilityName)->setFocus(Qt::OtherFocusReason);
}

} // namespace marrowick
