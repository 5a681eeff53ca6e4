#pragma once

#include <QProxyStyle>

namespace marrowick {

// The desktop's style with edges, focus rings and selections that read in every theme with every
// accent: a field's edge and its focus ring (in the accent) stand accentMarkContrast apart from
// its fill and from the window around it, a scroll bar's handle as far from its track, and a
// chosen menu entry (a combo box's list) carries its text as the accent's selection does; a
// field's prompt reads as text.
class MarrowickProxyStyle : public QProxyStyle {
    Q_OBJECT

public:
    // Over a fresh copy of the application's style as it stands.
    MarrowickProxyStyle();

    // Makes it the application's style; call once a QApplication exists.
    static void install();

    using QProxyStyle::polish;
    // A field's prompt (placeholder text) as far from the field's fill as any other text.
    void polish(QPalette &palette) override;

    void drawPrimitive(PrimitiveElement element, const QStyleOption *option, QPainter *painter,
                       const QWidget *widget = nullptr) const override;
    void drawControl(ControlElement element, const QStyleOption *option, QPainter *painter,
                     const QWidget *widget = nullptr) const override;
    void drawComplexControl(ComplexControl control, const QStyleOptionComplex *option, QPainter *painter,
                            const QWidget *widget = nullptr) const override;

    int styleHint(StyleHint hint, const QStyleOption *option = nullptr, const QWidget *widget = nullptr,
                  QStyleHintReturn *returnData = nullptr) const override;

private:
    void drawScrollBar(const QStyleOptionComplex *option, QPainter *painter, const QWidget *widget) const;
};

} // namespace marrowick
