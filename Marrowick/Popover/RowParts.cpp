#include "Marrowick/Popover/RowParts.h"

#include "Marrowick/Popover/PopoverText.h"
#include "Marrowick/Popover/RowTrailing.h"

#include <QBoxLayout>
#include <QLabel>

namespace marrowick {

NameBlock addNameBlock(QBoxLayout *row, int spacing, QWidget *parent)
{
    auto *block = new QVBoxLayout;
    block->setSpacing(spacing);
    block->setContentsMargins(0, 0, 0, 0);
    auto *name = new LimitedLabel(QString(), textFont(parent->font(), TextStyle::callout, QFont::DemiBold), 1, parent);
    name->setObjectName(QStringLiteral("name"));
    auto *detail = new LimitedLabel(QString(), textFont(parent->font(), TextStyle::caption2), 1, parent);
    detail->setObjectName(QStringLiteral("detail"));
    setLabelColor(detail, secondaryColor(parent->palette()));
    block->addWidget(name);
    block->addWidget(detail);
    row->addLayout(block);
    return NameBlock{name, detail};
}

void addNameSpacer(QBoxLayout *row)
{
    row->addItem(new QSpacerItem(8, 0, QSizePolicy::Expanding, QSizePolicy::Minimum));
}

void addTrailing(QBoxLayout *row, RowTrailing *trailing)
{
    // The only stretch in the row: the trailing block grows first, up to its sparkline's
    // width, and the spacer before it takes the rest.
    row->addWidget(trailing, 1);
}

void setLine(QLabel *label, const QString &text)
{
    if (label->text() != text)
        label->setText(text);
}

void setOptionalLine(QLabel *label, const std::optional<QString> &text)
{
    const bool shown = text && !text->isEmpty();
    setLine(label, shown ? *text : QString());
    label->setVisible(shown);
}

} // namespace marrowick
