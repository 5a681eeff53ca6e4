#pragma once

#include <QColor>
#include <QWidget>

#include <optional>

class QPainter;

namespace marrowick {

// The small line drawings of the settings and first-run windows, drawn by us so they look the
// same with or without an icon theme.
enum class SettingsSymbol {
    dragHandle, bell, bellSlash, trash, plus, serverRack, plusCircle, bellBadge, checkmarkCircle,
    waveform, gauge, gameController, globe, network, curlyBraces,
};

// Draws the symbol centred in `rect`, in `color`.
void paintSettingsSymbol(QPainter &painter, const QRectF &rect, SettingsSymbol symbol, const QColor &color);

// A fixed-size widget showing one symbol. Without a colour of its own it takes the palette's
// window text, or the accent with `useAccent`.
class SettingsSymbolView : public QWidget {
    Q_OBJECT

public:
    SettingsSymbolView(SettingsSymbol symbol, int size, QWidget *parent = nullptr);

    SettingsSymbol symbol() const { return m_symbol; }
    void setSymbol(SettingsSymbol symbol);
    void setColor(std::optional<QColor> color);
    void setUseAccent(bool on);
    QColor color() const;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    SettingsSymbol m_symbol;
    std::optional<QColor> m_color;
    bool m_useAccent = false;
};

} // namespace marrowick
