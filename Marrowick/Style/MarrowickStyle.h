#pragma once

#include <QColor>
#include <QFont>
#include <QList>
#include <QMarginsF>
#include <QObject>
#include <QPalette>
#include <QPointer>
#include <QRectF>
#include <QString>
#include <QWidget>

#include "Marrowick/State/HexColor.h"
#include "Marrowick/Style/Symbol.h"

#include <optional>
#include <utility>

class QEvent;
class QPainter;

namespace marrowick {

// The accent of a window that has none of its own, and the setting's default.
inline const QString defaultAccentHex = QStringLiteral("#8BB8E8");


// The colour of a stored "accentHex"; an unparsable text gives the default accent.
QColor accentColor(const QString &hex);
// White or the dark text colour, whichever contrasts more with the accent (WCAG 2.0 ratio);
// a tie goes to the dark colour.
QColor onAccentColor(const QString &hex);
// The dark text colour used on light accents.
QColor darkOnAccent();

// The WCAG 2.0 contrast ratio of two opaque colours, 1 to 21.
double contrastRatio(const QColor &a, const QColor &b);
// White or the dark text colour, whichever reads better on `fill` (the on-accent rule).
QColor inkOn(const QColor &fill);
// `color` blended over `background` at its own opacity, as it lands on screen.
QColor composited(const QColor &color, const QColor &background);

// How far an accent mark (an "on" switch, a selection, a focus ring, a chart line) must stand
// apart from the background it is drawn on, so it reads in every theme with every accent.
constexpr double accentMarkContrast = 3.0;
// The same for text drawn in the accent or in a status colour.
constexpr double accentTextContrast = 4.5;
// The accent as drawn on `background`: darkened on light backgrounds, lightened on dark
// ones, only as far as `ratio` needs; an accent that already stands out is kept.
QColor accentAgainst(const QColor &accent, const QColor &background, double ratio = accentMarkContrast);
// The same for a mark that lies between two backgrounds (a field's edge or focus ring between
// its fill and the window): `ratio` apart from both.
QColor accentBetween(const QColor &accent, const QColor &inside, const QColor &outside,
                     double ratio = accentMarkContrast);
// The plain edge of a control (a field, a swatch, an off switch): the text colour, faint, moved
// as far as it must to stand accentMarkContrast apart from its fill and from what lies around it.
QColor controlEdge(const QColor &text, const QColor &inside, const QColor &outside);
// The accent as a fill that carries text (its ink, inkOn): the fill accentMarkContrast apart
// from `background` and the ink accentTextContrast apart from the fill, moved as accentAgainst
// moves it, only as far as both need.
QColor accentFillAgainst(const QColor &accent, const QColor &background);
// The accent as a fill of text wherever it lies (a selection): moved away from its ink only as
// far as the text needs.
QColor accentTextFill(const QColor &accent);

// The opacity of the text colour that fills a card (cardFill).
constexpr qreal cardFillOpacity = 0.04;
// Marks a widget that fills itself with its text colour at `fillOpacity` before its children
// draw (a card, a panel), so an accent inside it is measured against that fill.
void markSurface(QWidget *widget, qreal fillOpacity);
// The opaque colour behind what `widget` draws: its window's background under the fill of
// every marked surface it sits in, itself included.
QColor surfaceBehind(const QWidget *widget);
// The accent as `widget` draws it: `ratio` apart from its surface, or from `layer` (a
// translucent fill it paints first) laid over that surface.
QColor marrowickAccentOn(const QWidget *widget, double ratio, const QColor &layer = Qt::transparent);
// The accent in effect for a widget, as a mark on the surface it sits on.
QColor marrowickAccentMark(const QWidget *widget);
// The accent as the focus ring along the edge of a control that lays `fill` (translucent) on
// the surface it sits on: accentMarkContrast apart from that fill and from the surface.
QColor marrowickFocusRing(const QWidget *widget, const QColor &fill);
// The accent in effect for a widget, as a fill that carries text on the surface it sits on (a
// chosen tab, a window's main action); inkOn gives its text colour.
QColor marrowickAccentFill(const QWidget *widget);
// True after events that may change a widget's accent or what lies behind it: the accent
// arrives with the palette. Widgets that keep an adjusted accent read it again then.
bool accentSurroundingsChanged(const QEvent *event);
// Where `text` breaks into lines no wider than `width` in `font`: between words where it can,
// inside a word wider than a line. Each line as its start and length in `text`.
QList<std::pair<qsizetype, qsizetype>> lineBreaks(const QString &text, const QFont &font, int width);
// Plain text as a tooltip, on one line up to the screen's width and on lines of that width
// beyond: Qt would read a name such as "<b>Lab</b>" as markup.
QString plainToolTip(const QString &text);

// The accent colours in effect for a widget: those of the nearest AccentInjector above it,
// or the default accent's where none is.
QColor marrowickAccent(const QWidget *widget);
QColor marrowickOnAccent(const QWidget *widget);

// Puts an accent, given as "#RRGGBB", on a window's content and everything inside it; the owner
// of the setting hands in each new value. Standard widgets see it as the palette's highlight (as
// a fill for text, accentTextFill); our own painting reads marrowickAccent(). Owned by the widget it decorates.
class AccentInjector : public QObject {
    Q_OBJECT

public:
    AccentInjector(QWidget *content, const QString &hex);

    static void apply(QWidget *content, const QString &hex);
    void setAccentHex(const QString &hex);

private:
    QPointer<QWidget> m_content;
};

// Fill and outline of the rounded cards that group content, from the palette's text colour.
QColor cardFill(const QPalette &palette);
QColor cardStroke(const QPalette &palette);
// Strokes a card's outline 1 px wide inside `rect`, so it never spills past the card.
void paintCardOutline(QPainter &painter, const QRectF &rect, qreal cornerRadius, const QPalette &palette);

// The width of a pill's label in `font`: the text, led by the symbol and a gap when there is one.
qreal pillLabelWidth(const QFont &font, const QString &label, std::optional<Symbol> symbol);

// The filled, accent-coloured pill of a window's main action.
struct MarrowickProminentPillStyle {
    static constexpr QMarginsF padding{16, 8, 16, 8};
    static constexpr qreal pressedOpacity = 0.8;

    static QFont font(const QFont &base);
    static void paint(QPainter &painter, const QRectF &rect, const QString &label, const QFont &base,
                      bool pressed, const QColor &accent, const QColor &onAccent,
                      std::optional<Symbol> symbol = std::nullopt);
};

// The outlined, quiet pill of secondary actions.
struct MarrowickGhostPillStyle {
    static constexpr QMarginsF padding{12, 6, 12, 6};
    static constexpr qreal pressedOpacity = 0.6;

    static QFont font(const QFont &base);
    // The faint fill of the pill, translucent.
    static QColor fill(const QPalette &palette);
    static void paint(QPainter &painter, const QRectF &rect, const QString &label, const QFont &base,
                      bool pressed, const QPalette &palette, std::optional<Symbol> symbol = std::nullopt);
};

} // namespace marrowick
