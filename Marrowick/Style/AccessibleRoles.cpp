#include "Marrowick/Style/AccessibleRoles.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAccessibleWidget>
#include <QComboBox>
#include <QLabel>
#include <QVariant>

namespace marrowick {

namespace {

constexpr char kindProperty[] = "marrowick.accessibleKind";
constexpr char onProperty[] = "marrowick.accessibleOn";

bool isOn(const QWidget *widget)
{
    return widget->property(onProperty).toBool();
}

QAccessible::Role roleOf(AccessibleKind kind)
{
    switch (kind) {
    case AccessibleKind::disclosure:
        return QAccessible::Button;
    case AccessibleKind::choice:
        return QAccessible::RadioButton;
    case AccessibleKind::pageTab:
        return QAccessible::PageTab;
    case AccessibleKind::pageTabList:
        return QAccessible::PageTabList;
    case AccessibleKind::notification:
        return QAccessible::Notification;
    case AccessibleKind::graphic:
        return QAccessible::Graphic;
    case AccessibleKind::picker:
        return QAccessible::ComboBox;
    }
    return QAccessible::Client;
}

class KindInterface : public QAccessibleWidget {
public:
    KindInterface(QWidget *widget, AccessibleKind kind) : QAccessibleWidget(widget, roleOf(kind)), m_kind(kind) {}

    QString text(QAccessible::Text type) const override
    {
        QString text = QAccessibleWidget::text(type);
        if (type == QAccessible::Name && text.isEmpty()) {
            if (const auto *button = qobject_cast<const QAbstractButton *>(widget()))
                text = button->text();
            else if (const auto *label = qobject_cast<const QLabel *>(widget()))
                text = label->text();
        }
        return text;
    }

    QAccessible::State state() const override
    {
        QAccessible::State state = QAccessibleWidget::state();
        const bool on = isOn(widget());
        switch (m_kind) {
        case AccessibleKind::disclosure:
            state.expandable = true;
            state.expanded = on;
            state.collapsed = !on;
            break;
        case AccessibleKind::choice:
            state.checkable = true;
            state.checked = on;
            break;
        case AccessibleKind::pageTab:
            state.selectable = true;
            state.selected = on;
            break;
        case AccessibleKind::pageTabList:
        case AccessibleKind::notification:
        case AccessibleKind::graphic:
        case AccessibleKind::picker:
            break;
        }
        if (const auto *button = asButton())
            state.pressed = button->isDown();
        return state;
    }

    // A button is one element: what it draws inside is told by its name.
    int childCount() const override { return asButton() ? 0 : QAccessibleWidget::childCount(); }
    QAccessibleInterface *child(int index) const override
    {
        return asButton() ? nullptr : QAccessibleWidget::child(index);
    }
    int indexOfChild(const QAccessibleInterface *child) const override
    {
        return asButton() ? -1 : QAccessibleWidget::indexOfChild(child);
    }

    QStringList actionNames() const override
    {
        QStringList names = QAccessibleWidget::actionNames();
        if (asButton() && widget()->isEnabled())
            names.prepend(pressAction());
        return names;
    }

    void doAction(const QString &name) override
    {
        if (name == pressAction() && asButton() && widget()->isEnabled())
            asButton()->click();
        else
            QAccessibleWidget::doAction(name);
    }

protected:
    QAbstractButton *asButton() const { return qobject_cast<QAbstractButton *>(widget()); }

private:
    AccessibleKind m_kind;
};

// Read-only text of the chosen entry, which is how a screen reader reads a combo box's value.
class PickerInterface : public KindInterface, public QAccessibleTextInterface {
public:
    explicit PickerInterface(QComboBox *combo) : KindInterface(combo, AccessibleKind::picker) {}

    QString text(QAccessible::Text type) const override
    {
        return type == QAccessible::Value ? current() : KindInterface::text(type);
    }

    QAccessible::State state() const override
    {
        QAccessible::State state = KindInterface::state();
        state.expandable = true;
        state.expanded = combo()->view()->isVisible();
        state.collapsed = !state.expanded;
        return state;
    }

    // The list it opens, as Qt's own combo box has it.
    int childCount() const override { return 1; }
    QAccessibleInterface *child(int index) const override
    {
        return index == 0 ? QAccessible::queryAccessibleInterface(combo()->view()) : nullptr;
    }
    int indexOfChild(const QAccessibleInterface *child) const override
    {
        return child && child->object() == combo()->view() ? 0 : -1;
    }

    QStringList actionNames() const override
    {
        return QStringList{showMenuAction(), pressAction()} + KindInterface::actionNames();
    }
    void doAction(const QString &name) override
    {
        if (name == showMenuAction() || name == pressAction())
            combo()->showPopup();
        else
            KindInterface::doAction(name);
    }

    void *interface_cast(QAccessible::InterfaceType type) override
    {
        if (type == QAccessible::TextInterface)
            return static_cast<QAccessibleTextInterface *>(this);
        return KindInterface::interface_cast(type);
    }

    void selection(int, int *startOffset, int *endOffset) const override { *startOffset = *endOffset = 0; }
    int selectionCount() const override { return 0; }
    void addSelection(int, int) override {}
    void removeSelection(int) override {}
    void setSelection(int, int, int) override {}
    int cursorPosition() const override { return 0; }
    void setCursorPosition(int) override {}
    QString text(int startOffset, int endOffset) const override
    {
        return current().mid(startOffset, endOffset - startOffset);
    }
    int characterCount() const override { return int(current().size()); }
    QRect characterRect(int) const override { return {}; }
    int offsetAtPoint(const QPoint &) const override { return -1; }
    void scrollToSubstring(int, int) override {}
    QString attributes(int offset, int *startOffset, int *endOffset) const override
    {
        *startOffset = *endOffset = offset;
        return {};
    }

private:
    QComboBox *combo() const { return static_cast<QComboBox *>(widget()); }
    QString current() const { return combo()->currentText(); }
};

QAccessibleInterface *kindFactory(const QString &, QObject *object)
{
    if (!object || !object->isWidgetType())
        return nullptr;
    auto *widget = static_cast<QWidget *>(object);
    const QVariant kind = widget->property(kindProperty);
    if (!kind.isValid())
        return nullptr;
    const auto value = static_cast<AccessibleKind>(kind.toInt());
    if (auto *combo = qobject_cast<QComboBox *>(widget); combo && value == AccessibleKind::picker)
        return new PickerInterface(combo);
    return new KindInterface(widget, value);
}

void setOn(QWidget *widget, bool on, void (*mark)(QAccessible::State &))
{
    if (widget->property(onProperty).isValid() && isOn(widget) == on)
        return;
    widget->setProperty(onProperty, on);
    QAccessible::State changed;
    mark(changed);
    QAccessibleStateChangeEvent event(widget, changed);
    QAccessible::updateAccessibility(&event);
}

} // namespace

void setAccessibleKind(QWidget *widget, AccessibleKind kind)
{
    static const bool installed = [] {
        QAccessible::installFactory(kindFactory);
        return true;
    }();
    Q_UNUSED(installed);
    widget->setProperty(kindProperty, static_cast<int>(kind));
    // Qt may have made the widget's interface already (on a parent's or name's change); the
    // next question for it then gets this kind's.
    if (QAccessible::isActive()) {
        QAccessibleInterface *existing = QAccessible::queryAccessibleInterface(widget);
        if (existing && !dynamic_cast<KindInterface *>(existing))
            QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(existing));
    }
}

void setAccessibleExpanded(QWidget *widget, bool expanded)
{
    setAccessibleDescriptionIfChanged(widget, disclosureHint(expanded));
    setOn(widget, expanded, [](QAccessible::State &state) { state.expanded = state.collapsed = true; });
}

QString disclosureHint(bool expanded)
{
    // Space presses a focused button.
    return expanded ? QStringLiteral("Press Space to collapse") : QStringLiteral("Press Space to expand");
}

void setAccessibleChosen(QWidget *widget, bool chosen)
{
    setOn(widget, chosen, [](QAccessible::State &state) { state.checked = state.selected = true; });
}

void announce(QWidget *notification)
{
    // A screen reader speaks a notification when it comes into view; one in view already is
    // told as if it came again.
    if (!notification->isVisible())
        return;
    QAccessibleEvent event(notification, QAccessible::ObjectShow);
    QAccessible::updateAccessibility(&event);
}

void setAccessibleNameIfChanged(QWidget *widget, const QString &name)
{
    if (widget->accessibleName() != name)
        widget->setAccessibleName(name);
}

void setAccessibleDescriptionIfChanged(QWidget *widget, const QString &description)
{
    if (widget->accessibleDescription() != description)
        widget->setAccessibleDescription(description);
}

} // namespace marrowick
