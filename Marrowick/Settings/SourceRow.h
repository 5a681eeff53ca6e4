#pragma once

#include "Marrowick/Settings/SourceRowModel.h"
#include "Marrowick/Style/Symbol.h"

#include <QAbstractButton>
#include <QFrame>

#include <functional>

class QLabel;

namespace marrowick {

class ElidedLabel;
class RelativeTimeText;
class StatusOrb;

// The small square look of the bell and trash buttons: 26 x 26, a faint rounded fill.
class SmallSquareButton : public QAbstractButton {
    Q_OBJECT

public:
    SmallSquareButton(Symbol symbol, QWidget *parent = nullptr);

    Symbol symbol() const { return m_symbol; }
    void setSymbol(Symbol symbol, bool secondary);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    Symbol m_symbol;
    bool m_secondary = false;
};

// One card of the settings window's sources list: a drag handle, the wide edit button with
// the source's kind, status (in a word too, unless up), name, address, age and last error, the bell that mutes the
// source's alerts and the trash button. It holds no state beyond what it was last given.
class SourceRow : public QFrame {
    Q_OBJECT

public:
    explicit SourceRow(QWidget *parent = nullptr);

    const SourceRowModel &model() const { return m_model; }
    // Redraws only what changed.
    void setModel(const SourceRowModel &model);
    // Measures the age of the last poll against `now`; the window's ticker keeps it current.
    void setNow(Instant now);
    // After a move by the keyboard: the card's place, told where the focus stays (its edit
    // button) until the focus leaves it.
    void tellPlace(qsizetype index, qsizetype count);

    QAbstractButton *editButton() const { return m_edit; }
    ElidedLabel *nameLabel() const { return m_name; }
    QWidget *ageLabel() const;
    SmallSquareButton *bellButton() const { return m_bell; }
    SmallSquareButton *trashButton() const { return m_trash; }
    QString ageText() const;
    QString errorText() const;
    // The state's word beside the name; empty while up.
    QString stateText() const;

    static constexpr int cornerRadius = 12;

signals:
    void editRequested(const QUuid &id);
    void muteToggled(const QUuid &id);
    void deleteRequested(const QUuid &id);
    // A press on the card moved far enough to become a drag.
    void dragStarted(const QUuid &id);
    // Alt+Up or Alt+Down: the keyboard's way to reorder, one place at a time.
    void moveRequested(const QUuid &id, int places);

protected:
    void paintEvent(QPaintEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool handleKey(const QKeyEvent *event);

    SourceRowModel m_model;
    std::optional<Instant> m_now;
    QAbstractButton *m_edit;
    SymbolView *m_kindIcon;
    StatusOrb *m_orb;
    ElidedLabel *m_name;
    QLabel *m_state;
    ElidedLabel *m_typeTitle;
    ElidedLabel *m_endpoint;
    RelativeTimeText *m_age;
    QLabel *m_error;
    SmallSquareButton *m_bell;
    SmallSquareButton *m_trash;
    QPoint m_pressAt;
};

// A one-line label that shortens its plain text, at the end or in the middle, when it does
// not fit; the whole text is then its tooltip. Clicks pass through to the widget below.
class ElidedLabel : public QWidget {
    Q_OBJECT

public:
    explicit ElidedLabel(Qt::TextElideMode mode, QWidget *parent = nullptr);
    void setText(const QString &text);
    QString text() const { return m_text; }
    // The text as drawn at the present width and font.
    QString shownText() const { return m_shown; }
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void elide();

    Qt::TextElideMode m_mode;
    QString m_text;
    QString m_shown;
};

} // namespace marrowick
