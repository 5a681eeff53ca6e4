#include "Marrowick/Style/MarrowickProxyStyle.h"

#include "Marrowick/Style/MarrowickStyle.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QPainter>
#include <QPainterPath>
#include <QStyleFactory>
#include <QStyleOption>

namespace marrowick {

namespace {

constexpr qreal frameRadius = 2;

QColor withOpacity(QColor color, qreal opacity)
{
    color.setAlphaF(static_cast<float>(opacity));
    return color;
}

// What lies around a control: the window under the cards it sits in.
QColor surfaceOf(const QStyleOption *option, const QWidget *widget)
{
    return widget ? surfaceBehind(widget) : option->palette.color(QPalette::Window);
}

QColor accentOf(const QWidget *widget)
{
    return widget ? marrowickAccent(widget) : accentColor(defaultAccentHex);
}

// A line along `rect`'s border: one pixel wide, or two for a focus ring, so that one pixel of
// the ring lies against the window and one against the fill.
void paintEdgeIn(QPainter *painter, const QRect &rect, const QColor &color, bool ring)
{
    const qreal inset = ring ? 1 : 0.5;
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setBrush(Qt::NoBrush);
    painter->setPen(QPen(color, ring ? 2 : 1));
    painter->drawRoundedRect(QRectF(rect).adjusted(inset, inset, -inset, -inset), frameRadius, frameRadius);
    painter->restore();
}

// The edge of a control filled with `role`, or its focus ring in the accent when `focused`.
void paintEdge(QPainter *painter, const QRect &rect, QPalette::ColorRole role, bool focused,
               const QStyleOption *option, const QWidget *widget)
{
    const QColor surface = surfaceOf(option, widget);
    const QColor fill = composited(option->palette.color(role), surface);
    paintEdgeIn(painter, rect,
                focused ? accentBetween(accentOf(widget), fill, surface)
                        : controlEdge(option->palette.color(QPalette::WindowText), fill, surface),
                focused);
}

// A button's face (a push button, a combo box that takes no typing): the button colour, a
// shade darker while pressed, in its edge; the default button's edge in the accent.
void paintButtonPanel(QPainter *painter, const QStyleOption *option, const QWidget *widget)
{
    const QColor surface = surfaceOf(option, widget);
    const QColor text = option->palette.color(QPalette::WindowText);
    QColor fill = composited(option->palette.color(QPalette::Button), surface);
    if (option->state & (QStyle::State_Sunken | QStyle::State_On))
        fill = composited(withOpacity(text, 0.1), fill);
    const auto *button = qstyleoption_cast<const QStyleOptionButton *>(option);
    const bool isDefault = button && button->features & QStyleOptionButton::DefaultButton;
    const bool focused = option->state & QStyle::State_HasFocus && option->state & QStyle::State_KeyboardFocusChange;
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setPen(Qt::NoPen);
    painter->setBrush(fill);
    painter->drawRoundedRect(QRectF(option->rect).adjusted(0.5, 0.5, -0.5, -0.5), frameRadius, frameRadius);
    painter->restore();
    const QColor edge = focused || isDefault ? accentBetween(accentOf(widget), fill, surface)
                                             : controlEdge(text, fill, surface);
    paintEdgeIn(painter, option->rect, edge, focused);
}

// A small triangle centred in `area`, pointing along the bar's axis.
void paintArrow(QPainter *painter, const QRectF &area, Qt::Orientation orientation, bool forward, const QColor &color)
{
    if (area.isEmpty())
        return;
    const QPointF c = area.center();
    const qreal half = 3.5;
    const qreal depth = forward ? 2 : -2;
    QPainterPath arrow;
    if (orientation == Qt::Vertical) {
        arrow.moveTo(c.x() - half, c.y() - depth);
        arrow.lineTo(c.x() + half, c.y() - depth);
        arrow.lineTo(c.x(), c.y() + depth);
    } else {
        arrow.moveTo(c.x() - depth, c.y() - half);
        arrow.lineTo(c.x() - depth, c.y() + half);
        arrow.lineTo(c.x() + depth, c.y());
    }
    arrow.closeSubpath();
    painter->fillPath(arrow, color);
}

} // namespace

MarrowickProxyStyle::MarrowickProxyStyle() : QProxyStyle(QStyleFactory::create(QApplication::style()->name())) {}

void MarrowickProxyStyle::install()
{
    QApplication::setStyle(new MarrowickProxyStyle);
}

void MarrowickProxyStyle::polish(QPalette &palette)
{
    QProxyStyle::polish(palette);
    // Themes draw prompts as text at half strength, under 4:1 on a white field.
    for (const auto group : {QPalette::Active, QPalette::Inactive}) {
        const QColor prompt = palette.color(group, QPalette::PlaceholderText);
        const QColor fill = palette.color(group, QPalette::Base);
        palette.setColor(group, QPalette::PlaceholderText,
                         accentAgainst(composited(prompt, fill), fill, accentTextContrast));
    }
}

void MarrowickProxyStyle::drawPrimitive(PrimitiveElement element, const QStyleOption *option, QPainter *painter,
                                        const QWidget *widget) const
{
    const bool focused = option->state & State_HasFocus;
    switch (element) {
    case PE_FrameLineEdit:
        paintEdge(painter, option->rect, QPalette::Base, focused, option, widget);
        return;
    case PE_Frame:
        // A framed text editor or list shows its focus as a field does.
        if (const auto *area = qobject_cast<const QAbstractScrollArea *>(widget);
            area && area->focusPolicy() != Qt::NoFocus) {
            paintEdge(painter, option->rect, QPalette::Base, focused, option, widget);
            return;
        }
        break;
    case PE_PanelButtonCommand:
        // Flat, so that its edge is measured against the fill it really has.
        paintButtonPanel(painter, option, widget);
        return;
    case PE_IndicatorCheckBox: {
        QProxyStyle::drawPrimitive(element, option, painter, widget);
        const QColor surface = surfaceOf(option, widget);
        const QColor fill = composited(option->palette.color(QPalette::Base), surface);
        painter->save();
        painter->setPen(controlEdge(option->palette.color(QPalette::WindowText), fill, surface));
        painter->setBrush(Qt::NoBrush);
        painter->drawRect(QRectF(option->rect).adjusted(0.5, 0.5, -0.5, -0.5));
        painter->restore();
        return;
    }
    case PE_FrameFocusRect: {
        // Only while the keyboard moves the focus, as the platform's styles do.
        if (!(option->state & State_KeyboardFocusChange))
            return;
        const QColor surface = surfaceOf(option, widget);
        const auto *frame = qstyleoption_cast<const QStyleOptionFocusRect *>(option);
        const QColor inside =
            frame && frame->backgroundColor.isValid() ? composited(frame->backgroundColor, surface) : surface;
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        painter->setPen(QPen(accentBetween(accentOf(widget), inside, surface), 1));
        painter->setBrush(Qt::NoBrush);
        painter->drawRoundedRect(QRectF(option->rect).adjusted(0.5, 0.5, -0.5, -0.5), frameRadius, frameRadius);
        painter->restore();
        return;
    }
    default:
        break;
    }
    QProxyStyle::drawPrimitive(element, option, painter, widget);
}

void MarrowickProxyStyle::drawControl(ControlElement element, const QStyleOption *option, QPainter *painter,
                                      const QWidget *widget) const
{
    // A chosen menu entry (a combo box's list is a menu) in the accent's selection, which
    // carries its text; the menu's own palette is the theme's, whatever the window's accent.
    if (element == CE_MenuItem && option->state & State_Selected) {
        if (const auto *item = qstyleoption_cast<const QStyleOptionMenuItem *>(option)) {
            QStyleOptionMenuItem chosen = *item;
            const QColor fill = accentTextFill(accentOf(widget));
            chosen.palette.setColor(QPalette::Highlight, fill);
            chosen.palette.setColor(QPalette::HighlightedText, inkOn(fill));
            QProxyStyle::drawControl(element, &chosen, painter, widget);
            return;
        }
    }
    QProxyStyle::drawControl(element, option, painter, widget);
}

void MarrowickProxyStyle::drawComplexControl(ComplexControl control, const QStyleOptionComplex *option,
                                             QPainter *painter, const QWidget *widget) const
{
    switch (control) {
    case CC_ScrollBar:
        drawScrollBar(option, painter, widget);
        return;
    case CC_SpinBox:
    case CC_ComboBox: {
        QProxyStyle::drawComplexControl(control, option, painter, widget);
        const auto *combo = qstyleoption_cast<const QStyleOptionComboBox *>(option);
        const auto *spin = qstyleoption_cast<const QStyleOptionSpinBox *>(option);
        if ((combo && !combo->frame) || (spin && !spin->frame))
            return;
        // A combo box that takes no typing is a button.
        const QPalette::ColorRole fill = combo && !combo->editable ? QPalette::Button : QPalette::Base;
        paintEdge(painter, option->rect, fill, option->state & State_HasFocus, option, widget);
        return;
    }
    default:
        QProxyStyle::drawComplexControl(control, option, painter, widget);
    }
}

int MarrowickProxyStyle::styleHint(StyleHint hint, const QStyleOption *option, const QWidget *widget,
                                   QStyleHintReturn *returnData) const
{
    // An etched shadow in the theme's light colour blurs disabled text (a list's section heading)
    // on a dark background.
    if (hint == SH_EtchDisabledText)
        return 0;
    return QProxyStyle::styleHint(hint, option, widget, returnData);
}

void MarrowickProxyStyle::drawScrollBar(const QStyleOptionComplex *option, QPainter *painter,
                                        const QWidget *widget) const
{
    const auto *bar = qstyleoption_cast<const QStyleOptionSlider *>(option);
    if (!bar) {
        QProxyStyle::drawComplexControl(CC_ScrollBar, option, painter, widget);
        return;
    }
    // A flat track a shade off the window, and a handle that stands out from it: the handle,
    // not the track, is what reads as the thing to drag.
    const QColor text = option->palette.color(QPalette::WindowText);
    const QColor track = composited(withOpacity(text, 0.05), surfaceOf(option, widget));
    const bool engaged = bar->activeSubControls & SC_ScrollBarSlider && bar->state & (State_MouseOver | State_Sunken);
    const QColor handle = accentBetween(withOpacity(text, engaged ? 0.6 : 0.45), track, track);

    painter->save();
    painter->fillRect(option->rect, track);
    painter->setRenderHint(QPainter::Antialiasing);
    const bool vertical = bar->orientation == Qt::Vertical;
    if (bar->maximum > bar->minimum) {
        const QRectF slider = QRectF(proxy()->subControlRect(CC_ScrollBar, bar, SC_ScrollBarSlider, widget))
                                  .adjusted(vertical ? 3 : 1, vertical ? 1 : 3, vertical ? -3 : -1, vertical ? -1 : -3);
        const qreal radius = std::min(slider.width(), slider.height()) / 2;
        QPainterPath shape;
        shape.addRoundedRect(slider, radius, radius);
        painter->fillPath(shape, handle);
    }
    paintArrow(painter, proxy()->subControlRect(CC_ScrollBar, bar, SC_ScrollBarSubLine, widget), bar->orientation,
               false, handle);
    paintArrow(painter, proxy()->subControlRect(CC_ScrollBar, bar, SC_ScrollBarAddLine, widget), bar->orientation,
               true, handle);
    painter->restore();
}

} // namespace marrowick
