#pragma once

#include "Marrowick/Popover/RowChrome.h"

#include <QWidget>

class QLabel;

namespace marrowick {

// A source whose last poll reported no widget: gray orb, its name and "No data reported".
class SourceEmptyRowView : public QWidget {
    Q_OBJECT

public:
    SourceEmptyRowView(const QString &displayName, const RowSettings &settings, QWidget *parent = nullptr);

    void set(const QString &displayName, const RowSettings &settings);

private:
    QLabel *m_name;
};

} // namespace marrowick
