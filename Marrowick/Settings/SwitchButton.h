#pragma once

#include <QAbstractButton>

namespace marrowick {

// An on/off switch: a track in the accent colour when on, gray when off, with a round knob.
class SwitchButton : public QAbstractButton {
    Q_OBJECT

public:
    explicit SwitchButton(const QString &accessibleTitle, QWidget *parent = nullptr);

    QSize sizeHint() const override { return {38, 22}; }

protected:
    void paintEvent(QPaintEvent *event) override;
};

} // namespace marrowick
