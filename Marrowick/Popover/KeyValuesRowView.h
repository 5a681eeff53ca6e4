#pragma once

#include "Marrowick/Popover/RowChrome.h"
#include "MarrowickKit/Model/WidgetData.h"

#include <QList>
#include <QWidget>

class QLabel;
class QVBoxLayout;

namespace marrowick {

// A titled list of labelled values, one line per value: no orb and no latency.
class KeyValuesRowView : public QWidget {
    Q_OBJECT

public:
    KeyValuesRowView(const QString &title, const QList<JSONFieldValue> &fields, const RowSettings &settings,
                     QWidget *parent = nullptr);

    void set(const QString &title, const QList<JSONFieldValue> &fields, const RowSettings &settings);

private:
    struct Line {
        QWidget *line;
        QLabel *label;
        QLabel *value;
    };
    Line addLine();

    QVBoxLayout *m_layout;
    QLabel *m_title;
    QList<Line> m_lines;
};

} // namespace marrowick
