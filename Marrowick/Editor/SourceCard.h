#pragma once

#include "Marrowick/Style/Symbol.h"

#include <QAbstractButton>

namespace marrowick {

// A clickable card of the add sheet's first step: a symbol over a title and a subtitle. A type
// card fills in grey and, while selected, is tinted and outlined in the accent; an example card
// is a plain outlined card. Keyboard focus is a ring in the band around either.
class SourceCard : public QAbstractButton {
    Q_OBJECT

public:
    enum class Kind { type, example };
    // The band around the card where its focus ring is drawn.
    static constexpr int focusMargin = 4;

    SourceCard(Kind kind, const QString &symbol, const QString &title, const QString &subtitle,
               QWidget *parent = nullptr);

    void setSelected(bool selected);
    bool isSelected() const { return m_selected; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    Kind m_kind;
    Symbol m_symbol;
    QString m_subtitle;
    bool m_selected = false;
};

} // namespace marrowick
