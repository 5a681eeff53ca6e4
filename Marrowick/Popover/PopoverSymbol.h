#pragma once

#include <QColor>
#include <QWidget>

class QPainter;

namespace marrowick {

// The popup's small line symbols, drawn by our own code so they look the same on every
// desktop, with or without an icon theme.
enum class Symbol {
    gear,
    play,
    pause,
    power,
    arrowClockwise,
    chevronRight,
    chevronDown,
    waveform,
    thermometer,
    questionmarkCircle,
    serverRack,
};

// Draws the symbol centred in `area` (a square of its shorter side) in `color`.
void paintSymbol(QPainter &painter, Symbol symbol, const QRectF &area, const QColor &color);

// A symbol as a widget of a fixed square size; its colour is the palette's text colour.
class SymbolView : public QWidget {
    Q_OBJECT

public:
    SymbolView(Symbol symbol, int side, QWidget *parent = nullptr);

    Symbol symbol() const { return m_symbol; }
    void setSymbol(Symbol symbol);
    void setColor(const QColor &color);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    Symbol m_symbol;
    QColor m_color;
};

} // namespace marrowick
