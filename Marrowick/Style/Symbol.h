#pragma once

#include <QColor>
#include <QIcon>
#include <QImage>
#include <QRectF>
#include <QWidget>

class QPainter;

namespace marrowick {

// The application's small line symbols, drawn by our own code so they look the same on every
// desktop, with or without an icon theme.
enum class Symbol {
    // Toolbar and popup
    gear,
    play,
    pause,
    power,
    arrowClockwise,
    chevronRight,
    chevronDown,
    chevronLeft,
    thermometer,
    questionmarkCircle,
    eye,
    eyeSlash,
    // Source kinds and examples
    serverRack,
    waveform,
    gauge,
    gameController,
    globe,
    network,
    curlyBraces,
    checkmarkSeal,
    cube,
    // Settings and first run
    dragHandle,
    bell,
    bellSlash,
    bellBadge,
    trash,
    plus,
    plusCircle,
    checkmarkCircle,
};

// Draws the symbol centred in `area` (a square of its shorter side) in `color`.
void paintSymbol(QPainter &painter, Symbol symbol, const QRectF &area, const QColor &color);

// The application's mark: the rack in `ink` on a rounded tile of `tile`.
void paintAppMark(QPainter &painter, const QRectF &area, const QColor &tile, const QColor &ink);
// The mark in the default accent, `pixels` square, with straight (not premultiplied) alpha.
QImage appMarkImage(int pixels);

// The symbol as an icon of the given size, for tool buttons.
QIcon symbolIcon(Symbol symbol, const QColor &color, int size = 16);

// A symbol as a widget of a fixed square size. Without a colour of its own it takes the
// palette's window text, or with `useAccent` the accent as a mark on what lies behind it.
class SymbolView : public QWidget {
    Q_OBJECT

public:
    SymbolView(Symbol symbol, int side, QWidget *parent = nullptr);

    Symbol symbol() const { return m_symbol; }
    void setSymbol(Symbol symbol);
    // An invalid colour returns to the palette's.
    void setColor(const QColor &color);
    void setUseAccent(bool on);
    QColor color() const;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    Symbol m_symbol;
    QColor m_color;
    bool m_useAccent = false;
};

} // namespace marrowick
