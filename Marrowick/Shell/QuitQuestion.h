#pragma once

#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QStringList>

#include <functional>

namespace marrowick {

class AppState;

// A quit the user asks for from the menu asks first when it would lose something, as desktop
// editors do: what and why, one sentence a line, with "Quit Anyway" and "Cancel" (the default,
// also on Escape). A quit on a signal never asks: nobody may be there to answer.
class QuitQuestion : public QObject {
    Q_OBJECT

public:
    explicit QuitQuestion(AppState *state, QObject *parent = nullptr);
    ~QuitQuestion() override;

    // What quitting now would lose: what the state still cannot save, once tried again, and
    // the work in every open add or edit sheet.
    QStringList losses() const;
    // Runs `quit` at once when nothing would be lost, else once the user chooses Quit Anyway.
    // A question already open comes to the front instead.
    void ask(std::function<void()> quit);
    // The open question, if any.
    QMessageBox *box() const { return m_box; }

private:
    QPointer<AppState> m_state;
    QPointer<QMessageBox> m_box;
};

} // namespace marrowick
