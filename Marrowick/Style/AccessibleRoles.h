#pragma once

#include <QString>

class QWidget;

namespace marrowick {

// What Qt's own accessibility cannot tell of the widgets this program draws itself. A widget
// given a kind reads in the accessibility tree with that kind's role and states.
enum class AccessibleKind {
    // A button that shows or hides what follows it: expandable, then expanded or collapsed.
    disclosure,
    // One of a set of buttons of which one is chosen: a radio button, checked when chosen.
    choice,
    // A tab of a tab bar, selected when chosen; and the bar that holds the tabs.
    pageTab,
    pageTabList,
    // A message that a screen reader speaks as it appears. Its role is for good: a screen
    // reader keeps the role it first read.
    notification,
    // A picture that tells a state, such as a status dot, in its name.
    graphic,
    // A combo box named by its label (Qt names one by its value here), its choice as its text.
    picker,
};

// Given before the widget is first shown.
void setAccessibleKind(QWidget *widget, AccessibleKind kind);

// A disclosure's expanded state, a choice's or tab's chosen one. Qt 6.4 passes a change of a
// choice's on to AT-SPI, but none of an expanded or selected state: those are read whenever
// the widget is.
// A disclosure's description is then the key that toggles it, `disclosureHint`.
void setAccessibleExpanded(QWidget *widget, bool expanded);
QString disclosureHint(bool expanded);
void setAccessibleChosen(QWidget *widget, bool chosen);

// Has a screen reader speak a shown notification's name now, as it does when one appears.
void announce(QWidget *notification);

// Qt tells assistive technology of every name or description set, also of an unchanged one;
// these set only a change.
void setAccessibleNameIfChanged(QWidget *widget, const QString &name);
void setAccessibleDescriptionIfChanged(QWidget *widget, const QString &description);

} // namespace marrowick
