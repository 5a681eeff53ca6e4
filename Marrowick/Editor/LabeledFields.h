#pragma once

#include <QLineEdit>
#include <QWidget>

class QLabel;

namespace marrowick {

// A caption over a single-line field. The caption is also the field's accessible name, so a
// screen reader names the field by it rather than by its placeholder.
class LabeledTextField : public QWidget {
    Q_OBJECT

public:
    LabeledTextField(const QString &label, const QString &text, const QString &prompt, QWidget *parent = nullptr);

    QLineEdit *lineEdit() const { return m_edit; }
    QString text() const { return m_edit->text(); }
    QString label() const;
    void setLabel(const QString &label);
    void setPrompt(const QString &prompt) { m_edit->setPlaceholderText(prompt); }

signals:
    // Only for the user's edits, never for setText.
    void textEdited(const QString &text);

protected:
    QLabel *m_caption;
    QLineEdit *m_edit;
};

// The same with a masked field: a password or token never shows and cannot be copied out.
class LabeledSecureField : public LabeledTextField {
    Q_OBJECT

public:
    LabeledSecureField(const QString &label, const QString &text, const QString &prompt, QWidget *parent = nullptr);
};

// The caption style shared by the editor's small headings and notes.
void styleCaption(QLabel *label, bool semibold, bool secondary, bool small = false);

} // namespace marrowick
