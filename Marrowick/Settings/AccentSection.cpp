#include "Marrowick/Settings/AccentSection.h"

#include "Marrowick/State/AppSettings.h"
#include "Marrowick/Style/MarrowickStyle.h"

#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QVBoxLayout>

namespace marrowick {

namespace AccentPresets {

QList<QString> all()
{
    return {QStringLiteral("#8BB8E8"), QStringLiteral("#14B8A6"), QStringLiteral("#A78BFA"), QStringLiteral("#EC4899"),
            QStringLiteral("#F59E0B"), QStringLiteral("#10B981"), QStringLiteral("#EF4444"), QStringLiteral("#FFFFFF")};
}

QString colorName(const QString &preset)
{
    static const QStringList names{QStringLiteral("sky blue"), QStringLiteral("teal"),  QStringLiteral("violet"),
                                   QStringLiteral("pink"),     QStringLiteral("amber"), QStringLiteral("green"),
                                   QStringLiteral("red"),      QStringLiteral("white")};
    const qsizetype index = all().indexOf(preset.toUpper());
    return index < 0 ? QString() : names.at(index);
}

bool isSelected(const QString &preset, const QString &accentHex)
{
    return preset.compare(accentHex, Qt::CaseInsensitive) == 0;
}

} // namespace AccentPresets

AccentSwatch::AccentSwatch(const QString &hex, QWidget *parent) : QAbstractButton(parent), m_hex(hex)
{
    setCheckable(true);
    setFixedSize(sizeHint());
    // The hex code is the tooltip, and so the description.
    setToolTip(hex);
    const QString name = AccentPresets::colorName(hex);
    setAccessibleName(QStringLiteral("Accent color ") + (name.isEmpty() ? hex : name));
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::StrongFocus);
}

void AccentSwatch::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    // The focus ring has a margin of its own, so the chosen swatch's ring stays in sight.
    if (hasFocus()) {
        p.setPen(QPen(marrowickAccentMark(this), 2));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(QRectF(rect()).adjusted(1, 1, -1, -1));
    }
    const QRectF area = QRectF(rect()).adjusted(focusMargin, focusMargin, -focusMargin, -focusMargin);
    const QColor fill = accentColor(m_hex);
    p.setPen(Qt::NoPen);
    p.setBrush(fill);
    p.drawEllipse(area);
    // The chosen swatch is ringed in the ink that reads on its own colour: a ring in the
    // window's text colour vanishes on a swatch of that colour (white in a dark theme). A
    // colour too close to the card's (white on a light one) is told apart by its edge.
    const QColor text = palette().color(QPalette::WindowText);
    const QColor card = surfaceBehind(this);
    QColor ring = isChecked() ? inkOn(fill) : text;
    ring.setAlphaF(isChecked() ? 0.85f : 0.15f);
    if (!isChecked() && contrastRatio(fill, card) < accentMarkContrast + 0.1)
        ring = controlEdge(text, fill, card);
    const qreal width = isChecked() ? 2 : 1;
    p.setPen(QPen(ring, width));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(area.adjusted(width / 2, width / 2, -width / 2, -width / 2));
}

AccentSection::AccentSection(AppSettings *settings, QWidget *parent) : QWidget(parent), m_settings(settings)
{
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(10);

    auto *presets = new QHBoxLayout;
    presets->addWidget(new QLabel(QStringLiteral("Accent color"), this));
    presets->addStretch();
    auto *swatches = new QHBoxLayout;
    swatches->setSpacing(2);
    for (const QString &hex : AccentPresets::all()) {
        auto *swatch = new AccentSwatch(hex, this);
        connect(swatch, &QAbstractButton::clicked, this, [this, hex] {
            if (m_settings)
                m_settings->setAccentHex(hex);
            refresh();
        });
        swatches->addWidget(swatch);
        m_swatches.append(swatch);
    }
    presets->addLayout(swatches);
    column->addLayout(presets);

    auto *divider = new QFrame(this);
    divider->setFrameShape(QFrame::HLine);
    divider->setEnabled(false);
    column->addWidget(divider);

    auto *custom = new QHBoxLayout;
    custom->addWidget(new QLabel(QStringLiteral("Custom color"), this));
    custom->addStretch();
    m_custom = new QLineEdit(this);
    m_custom->setPlaceholderText(AppSettings::defaultAccentHex);
    m_custom->setAccessibleName(QStringLiteral("Custom accent color hex"));
    QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    mono.setPointSizeF(font().pointSizeF() * 0.85);
    m_custom->setFont(mono);
    m_custom->setFixedWidth(88);
    // A field like every other, so its edge and its focus show.
    m_custom->setTextMargins(6, 3, 6, 3);
    // Every keystroke is stored as typed; an unparsable text leaves the default accent in effect.
    connect(m_custom, &QLineEdit::textEdited, this, [this](const QString &text) {
        if (m_settings)
            m_settings->setAccentHex(text);
        refresh();
    });
    custom->addWidget(m_custom);
    column->addLayout(custom);

    if (settings) {
        connect(settings, &AppSettings::changed, this, [this](const QString &key) {
            if (key == SettingsKey::accentHex)
                refresh();
        });
    }
    refresh();
}

void AccentSection::refresh()
{
    const QString hex = m_settings ? m_settings->accentHex() : AppSettings::defaultAccentHex;
    for (AccentSwatch *swatch : m_swatches)
        swatch->setChecked(AccentPresets::isSelected(swatch->hex(), hex));
    if (m_custom->text() != hex)
        m_custom->setText(hex);
}

} // namespace marrowick
