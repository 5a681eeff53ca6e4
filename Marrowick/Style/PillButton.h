#pragma once

#include "Marrowick/Style/Symbol.h"

#include <QAbstractButton>

#include <optional>

class QKeyEvent;
class QPainter;

namespace marrowick {

// A push button drawn as one of the two shared pills. The prominent one takes its colours
// from the accent in effect, as a fill for text on the surface behind it (marrowickAccentFill).
class PillButton : public QAbstractButton {
    Q_OBJECT

public:
    enum class Kind { prominent, ghost };

    explicit PillButton(const QString &text, Kind kind = Kind::prominent, QWidget *parent = nullptr);

    Kind kind() const { return m_kind; }
    // A symbol before the label, drawn in the label's colour.
    std::optional<Symbol> symbol() const { return m_symbol; }
    void setSymbol(Symbol symbol);
    // A busy pill is drawn as a disabled one but keeps the keyboard focus, which a disabled
    // widget would hand on: what it starts is already running, and its owner ignores presses.
    bool isBusy() const { return m_busy; }
    void setBusy(bool busy);
    // Return or Enter alone: the key that presses a focused pill, and a window's main action.
    static bool isConfirmKey(const QKeyEvent *event);
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void paintFocusRing(QPainter &painter, const QRectF &area, const QColor &fill) const;

    Kind m_kind;
    std::optional<Symbol> m_symbol;
    bool m_busy = false;
};

} // namespace marrowick
