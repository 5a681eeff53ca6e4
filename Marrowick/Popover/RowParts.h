#pragma once

#include <QString>

#include <optional>

class QBoxLayout;
class QLabel;
class QWidget;

namespace marrowick {

class RowTrailing;

// The name and its second line at the left of a widget row.
struct NameBlock {
    QLabel *name;
    QLabel *detail;
};

// Adds the name (callout, semibold, one line) over a second line (caption2, secondary, one
// line, hidden while empty), with `spacing` between them. The block keeps its natural width
// while the row has it and is the first to be cut when not.
NameBlock addNameBlock(QBoxLayout *row, int spacing, QWidget *parent);
// The gap after the name block: at least 8 wide, and whatever the row has left over.
void addNameSpacer(QBoxLayout *row);
// The trailing block, at the row's end, growing into the room left over for its sparkline.
void addTrailing(QBoxLayout *row, RowTrailing *trailing);
void setLine(QLabel *label, const QString &text);
// Hidden without a text.
void setOptionalLine(QLabel *label, const std::optional<QString> &text);

} // namespace marrowick
