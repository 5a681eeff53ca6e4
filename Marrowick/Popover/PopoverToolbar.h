#pragma once

#include "Marrowick/Style/Symbol.h"

#include <QAbstractButton>
#include <QWidget>

namespace marrowick {

// A borderless 28 by 28 button showing one symbol in the secondary colour.
class SymbolButton : public QAbstractButton {
    Q_OBJECT

public:
    SymbolButton(Symbol symbol, const QString &identifier, QWidget *parent = nullptr);

    Symbol symbol() const { return m_symbol; }
    void setSymbol(Symbol symbol);
    // The tooltip, also the name read out by assistive technology.
    void setLabel(const QString &label);

    QSize sizeHint() const override { return QSize(28, 28); }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    Symbol m_symbol;
};

// The capsule at the bottom of the popup with the settings, pause or resume, and quit buttons.
class PopoverToolbar : public QWidget {
    Q_OBJECT

public:
    explicit PopoverToolbar(QWidget *parent = nullptr);

    SymbolButton *settingsButton() const { return m_settings; }
    SymbolButton *pauseButton() const { return m_pause; }
    SymbolButton *quitButton() const { return m_quit; }
    // "play" and "Resume monitoring" while paused, else "pause" and "Pause monitoring".
    void setPaused(bool paused);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QWidget *m_capsule;
    SymbolButton *m_settings;
    SymbolButton *m_pause;
    SymbolButton *m_quit;
};

} // namespace marrowick
