#include "Marrowick/Editor/LabeledFields.h"

#include <QLabel>
#include <QVBoxLayout>

namespace marrowick {

LabeledTextField::LabeledTextField(const QString &label, const QString &text, const QString &prompt, QWidget *parent)
    : QWidget(parent), m_caption(new QLabel(label, this)), m_edit(new QLineEdit(text, this))
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);
    m_caption->setTextFormat(Qt::PlainText);
    styleCaption(m_caption, true, true);
    m_caption->setBuddy(m_edit);
    m_edit->setPlaceholderText(prompt);
    m_edit->setAccessibleName(label);
    layout->addWidget(m_caption);
    layout->addWidget(m_edit);
    connect(m_edit, &QLineEdit::textEdited, this, &LabeledTextField::textEdited);
}

QString LabeledTextField::label() const
{
    return m_caption->text();
}

void LabeledTextField::setLabel(const QString &label)
{
    m_caption->setText(label);
    m_edit->setAccessibleName(label);
}

LabeledSecureField::LabeledSecureField(const QString &label, const QString &text, const QString &prompt,
                                       QWidget *parent)
    : LabeledTextField(label, text, prompt, parent)
{
    m_edit->setEchoMode(QLineEdit::Password);
    m_edit->setInputMethodHints(Qt::ImhHiddenText | Qt::ImhSensitiveData | Qt::ImhNoPredictiveText);
}

void styleCaption(QLabel *label, bool semibold, bool secondary, bool small)
{
    QFont font = label->font();
    font.setPointSizeF(font.pointSizeF() * (small ? 0.8 : 0.88));
    if (semibold)
        font.setWeight(QFont::DemiBold);
    label->setFont(font);
    if (secondary) {
        QPalette palette = label->palette();
        QColor colour = palette.color(QPalette::WindowText);
        colour.setAlphaF(0.6);
        palette.setColor(QPalette::WindowText, colour);
        label->setPalette(palette);
    }
}

} // namespace marrowick
