#pragma once

#include <QString>

#include <optional>

class QBoxLayout;
class QLabel;
class QWidget;

namespace marrowick {

// The name and its second line at the left of a widget row.
struct NameBlock {
    QLabel *name;
    QLabel *detail;
};

// Adds the name (callout, semibold, one line) over a second line (caption2, secondary, one
// line, hidden while empty), with `spacing` between them; the block takes the row's spare width.
NameBlock addNameBlock(QBoxLayout *row, int spacing, QWidget *parent);
void setLine(QLabel *label, const QString &text);
// Hidden without a text.
void setOptionalLine(QLabel *label, const std::optional<QString> &text);

} // namespace marrowick
