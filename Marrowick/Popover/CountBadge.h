#pragma once

#include <QWidget>
#include <QLocale>

namespace marrowick {

// The number of widgets of a group, small on a capsule.
class CountBadge : public QWidget {
    Q_OBJECT

public:
    explicit CountBadge(qsizetype count, QWidget *parent = nullptr);

    QString text() const { return QLocale().toString(m_count); }
    void setCount(qsizetype count);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QFont textFont() const;

    qsizetype m_count;
};

} // namespace marrowick
