#pragma once

#include <QColor>
#include <QFont>
#include <QLabel>
#include <QString>

class QPalette;
class QWidget;

namespace marrowick {

// The popup's text styles, in logical pixels.
enum class TextStyle { title2, callout, caption, caption2 };

QFont textFont(const QFont &base, TextStyle style, QFont::Weight weight = QFont::Normal);
QFont systemFont(const QFont &base, qreal pixelSize, QFont::Weight weight = QFont::Normal);
// Text that says less than the primary text next to it.
QColor secondaryColor(const QPalette &palette);

// A label that never reads its text as rich text: names, messages and values come from
// servers, files and the user.
QLabel *plainLabel(const QString &text, const QFont &font, QWidget *parent);
void setLabelColor(QLabel *label, const QColor &color);

// A peer's number truncated toward zero for a text, after clamping it to ±`limit` so that
// 1e300 or a negative value can never make the conversion undefined. Not-finite gives 0.
qint64 truncatedForDisplay(double value, double limit);

// A plain-text label of at most `maxLines` lines that yields its width to its neighbours and
// cuts the rest with an ellipsis instead of widening the fixed-width popup. text() stays the
// whole text, and shows as the tooltip while the text is cut.
class LimitedLabel : public QLabel {
    Q_OBJECT

public:
    LimitedLabel(const QString &text, const QFont &font, int maxLines, QWidget *parent = nullptr);

    int maxLines() const { return m_maxLines; }
    // The lines as drawn at `width`, the last one elided when text is left over.
    QStringList visibleLines(int width) const;
    // Whether the lines as drawn now leave some of the text out.
    bool isCut() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    bool hasHeightForWidth() const override { return m_maxLines > 1; }
    int heightForWidth(int width) const override;

protected:
    bool event(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    int m_maxLines;
};

} // namespace marrowick
