#pragma once

#include <QAbstractButton>

namespace marrowick {

// An on/off switch: a track filled with the accent when on, outlined when off, with a round
// knob at the state's end. The focus ring sits in a margin around the track, so it never hides
// the state.
class SwitchButton : public QAbstractButton {
    Q_OBJECT

public:
    explicit SwitchButton(const QString &accessibleTitle, QWidget *parent = nullptr);

    QSize sizeHint() const override { return {42, 26}; }

protected:
    void paintEvent(QPaintEvent *event) override;
};

} // namespace marrowick
