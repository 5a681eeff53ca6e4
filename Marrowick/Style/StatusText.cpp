#include "Marrowick/Style/StatusText.h"

#include "Marrowick/Style/MarrowickStyle.h"
#include "Marrowick/Style/StatusOrb.h"

#include <QEvent>
#include <QLabel>
#include <QWidget>

namespace marrowick {

namespace {

const QString followerName = QStringLiteral("marrowick.statusText");

// Owned by the widget it colours; reads the surface again when the widget's palette, parent
// or visibility changes, since what lies behind it may have changed.
class StatusTextFollower : public QObject {
public:
    StatusTextFollower(QWidget *widget, const QColor &status) : QObject(widget), m_widget(widget)
    {
        setObjectName(followerName);
        widget->installEventFilter(this);
        setStatus(status);
    }

    void setStatus(const QColor &status)
    {
        m_status = status;
        follow();
    }

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (accentSurroundingsChanged(event) || event->type() == QEvent::Show)
            follow();
        return false;
    }

private:
    void follow()
    {
        // Its own palette change comes back here; the same colour then changes nothing.
        QPalette palette = m_widget->palette();
        palette.setColor(QPalette::WindowText, statusTextColor(m_widget, m_status));
        m_widget->setPalette(palette);
    }

    QWidget *m_widget;
    QColor m_status;
};

} // namespace

QColor statusTextColor(const QWidget *widget, const QColor &status, const QColor &layer)
{
    return accentAgainst(status, composited(layer, surfaceBehind(widget)), accentTextContrast);
}

void setStatusTextColor(QWidget *widget, const QColor &status)
{
    auto *follower =
        static_cast<StatusTextFollower *>(widget->findChild<QObject *>(followerName, Qt::FindDirectChildrenOnly));
    if (!status.isValid()) {
        delete follower;
        return;
    }
    if (follower)
        follower->setStatus(status);
    else
        new StatusTextFollower(widget, status);
}

void showStatusWord(QLabel *label, ServiceStatus status)
{
    const bool up = status == ServiceStatus::up;
    const QString word = up ? QString() : statusWord(status);
    if (label->text() != word)
        label->setText(word);
    label->setVisible(!up);
    setStatusTextColor(label, up ? QColor() : statusColor(status));
}

} // namespace marrowick
