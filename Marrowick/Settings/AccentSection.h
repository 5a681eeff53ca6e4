#pragma once

#include <QAbstractButton>
#include <QList>
#include <QPointer>
#include <QString>
#include <QWidget>

class QLineEdit;

namespace marrowick {

class AppSettings;

// The accent colour's presets and the rule that marks one as chosen.
namespace AccentPresets {
QList<QString> all();
// The preset's colour in words ("teal"), which a screen reader says where the eye sees it;
// empty for a colour that is no preset.
QString colorName(const QString &preset);
// Equal ignoring case, nothing trimmed: " #8BB8E8" selects no swatch.
bool isSelected(const QString &preset, const QString &accentHex);
} // namespace AccentPresets

// One preset: a filled circle, ringed in a contrasting ink when it is the chosen accent.
class AccentSwatch : public QAbstractButton {
    Q_OBJECT

public:
    AccentSwatch(const QString &hex, QWidget *parent = nullptr);
    QString hex() const { return m_hex; }
    // An 18-point circle inside the focus ring's margin.
    static constexpr int focusMargin = 3;
    QSize sizeHint() const override { return {18 + 2 * focusMargin, 18 + 2 * focusMargin}; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QString m_hex;
};

// The "Accent Color" card's content: eight preset swatches and a hex field. It only writes the
// "accentHex" setting; every window follows the setting by itself.
class AccentSection : public QWidget {
    Q_OBJECT

public:
    explicit AccentSection(AppSettings *settings, QWidget *parent = nullptr);

    QList<AccentSwatch *> swatches() const { return m_swatches; }
    QLineEdit *customField() const { return m_custom; }

private:
    void refresh();

    QPointer<AppSettings> m_settings;
    QList<AccentSwatch *> m_swatches;
    QLineEdit *m_custom;
};

} // namespace marrowick
