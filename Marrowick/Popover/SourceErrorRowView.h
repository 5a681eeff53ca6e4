#pragma once

#include "Marrowick/Popover/RowChrome.h"

#include <QWidget>

class QLabel;

namespace marrowick {

class StatusOrb;

// A source whose last poll failed: red orb, its name and the error, cut after two lines.
class SourceErrorRowView : public QWidget {
    Q_OBJECT

public:
    SourceErrorRowView(const QString &displayName, const QString &error, const RowSettings &settings,
                       QWidget *parent = nullptr);

    void set(const QString &displayName, const QString &error, const RowSettings &settings);

private:
    QLabel *m_name;
    QLabel *m_error;
};

} // namespace marrowick
