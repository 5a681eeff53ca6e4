#include "Marrowick/Shell/QuitQuestion.h"

#include "Marrowick/Editor/AddSourceView.h"
#include "Marrowick/State/AppState.h"
#include "Marrowick/Style/AlertBox.h"

#include <QApplication>
#include <QPushButton>

namespace marrowick {

namespace {

QString sheetLoss(AddSourceView &sheet)
{
    SourceFormSession &session = sheet.session();
    QString name = session.form() ? session.form()->displayName.trimmed() : QString();
    if (name.isEmpty() && session.editingSource())
        name = session.editingSource()->displayName();
    if (session.isSaving()) {
        return name.isEmpty() ? QStringLiteral("A source is still being saved: the keyring has not answered yet.")
                              : QStringLiteral("\"%1\" is still being saved: the keyring has not answered yet.").arg(name);
    }
    if (session.isEditing())
        return QStringLiteral("Your changes to \"%1\" in the editor are not saved yet.").arg(name);
    return name.isEmpty() ? QStringLiteral("The new source in the editor is not saved yet.")
                          : QStringLiteral("The new source \"%1\" in the editor is not saved yet.").arg(name);
}

} // namespace

QuitQuestion::QuitQuestion(AppState *state, QObject *parent) : QObject(parent), m_state(state) {}

QuitQuestion::~QuitQuestion()
{
    // A window of its own, which nothing else deletes.
    delete m_box;
}

QStringList QuitQuestion::losses() const
{
    QStringList lines = m_state ? m_state->unsavedAtQuit() : QStringList();
    for (QWidget *window : QApplication::topLevelWidgets()) {
        auto *sheet = qobject_cast<AddSourceView *>(window);
        if (sheet && sheet->isVisible() && sheet->session().hasUnsavedChanges())
            lines.append(sheetLoss(*sheet));
    }
    return lines;
}

void QuitQuestion::ask(std::function<void()> quit)
{
    if (m_box) {
        m_box->raise();
        m_box->activateWindow();
        return;
    }
    const QStringList lost = losses();
    if (lost.isEmpty()) {
        quit();
        return;
    }
    QMessageBox *box = AlertBox::make(QMessageBox::Warning, QStringLiteral("Quit and Lose Unsaved Changes?"),
                                      lost.join(QLatin1Char('\n')), nullptr);
    box->setObjectName(QStringLiteral("quitQuestion"));
    box->setWindowTitle(QStringLiteral("Marrowick"));
    QPushButton *cancel = box->addButton(QMessageBox::Cancel);
    QPushButton *quitAnyway = box->addButton(QStringLiteral("Quit Anyway"), QMessageBox::DestructiveRole);
    quitAnyway->setObjectName(QStringLiteral("quitQuestion.quitAnyway"));
    box->setDefaultButton(cancel);
    box->setEscapeButton(cancel);
    connect(box, &QDialog::finished, this, [box, quitAnyway, quit = std::move(quit)] {
        if (box->clickedButton() == quitAnyway)
            quit();
    });
    m_box = box;
    box->open();
}

} // namespace marrowick
