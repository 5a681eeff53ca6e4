#pragma once

#include "Marrowick/Popover/PopoverRows.h"
#include "Marrowick/Popover/RowChrome.h"

#include <QWidget>

#include <functional>

namespace marrowick {

// One row on a rounded card. A new value of the same kind of row updates the row's view in
// place; another kind replaces it, so redraws never flicker or move the scroll position.
class RowCard : public QWidget {
    Q_OBJECT

public:
    // The collapse action of a group header.
    using Toggle = std::function<void()>;
    static constexpr qreal cornerRadius = 10;

    explicit RowCard(QWidget *parent = nullptr);

    // The row's view: one of the row views, by the row's case and widget.
    QWidget *view() const { return m_view; }
    // A new view is not shown here but added to `shows`, for the caller to show in one batch.
    void setRow(const PopoverRows::Row &row, const QList<double> &history, const RowSettings &settings,
                const Toggle &toggle, QList<QWidget *> &shows);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    // The kinds of view a row can need; a change of kind replaces the view.
    enum class ViewKind { none, error, empty, header, service, host, game, check, keyValues };
    static ViewKind viewKind(const PopoverRows::Row &row);
    QWidget *makeView(const PopoverRows::Row &row, const QList<double> &history, const RowSettings &settings,
                      const Toggle &toggle);
    void updateView(const PopoverRows::Row &row, const QList<double> &history, const RowSettings &settings);

    ViewKind m_kind = ViewKind::none;
    QWidget *m_view = nullptr;
};

// The children of an expanded group: indented, on a faint panel with an accent line at its
// leading edge.
class GroupChildrenPanel : public QWidget {
    Q_OBJECT

public:
    explicit GroupChildrenPanel(QWidget *parent = nullptr);

protected:
    void paintEvent(QPaintEvent *event) override;
};

} // namespace marrowick
