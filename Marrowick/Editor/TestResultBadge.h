#pragma once

#include <QWidget>

namespace marrowick {

// The connection test's result beside its button: a dot and the message in a tinted capsule,
// green for a test that fetched something and found its target up, red for anything else. The message is server text,
// so it is drawn as plain text, on at most two lines, in the colour as text on the tint. A
// screen reader speaks it as it appears.
class TestResultBadge : public QWidget {
    Q_OBJECT

public:
    explicit TestResultBadge(QWidget *parent = nullptr);

    void setResult(bool passed, const QString &message);
    bool passed() const { return m_passed; }
    const QString &message() const { return m_message; }
    // Its accessible name: the message, after "Failed: " for a failure that does not say so.
    static QString spokenText(bool passed, const QString &message);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QColor colour() const;
    QFont badgeFont() const;
    QRectF textRect(const QRectF &area) const;

    bool m_passed = false;
    QString m_message;
};

} // namespace marrowick
