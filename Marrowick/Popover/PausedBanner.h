#pragma once

#include <QWidget>

namespace marrowick {

// Above the list while monitoring is paused: says so and how to resume.
class PausedBanner : public QWidget {
    Q_OBJECT

public:
    explicit PausedBanner(QWidget *parent = nullptr);

protected:
    void paintEvent(QPaintEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void followAccent();
};

} // namespace marrowick
