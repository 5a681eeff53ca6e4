#pragma once

#include "Marrowick/Editor/SourceFormState.h"

#include <QWidget>

class QCheckBox;
class QComboBox;
class QLabel;
class QStandardItemModel;
class QToolButton;

namespace marrowick {

class LabeledSecureField;
class LabeledTextField;

// The fields of a game-server source: the searchable, sectioned game picker with the game's
// setup note, host and port, the HTTPS switch of web-interface games, the credential the game
// calls for, and the query port under "Advanced". A view of the sheet's form: it reports each
// edit and is refreshed from the form afterwards.
class GameSourceForm : public QWidget {
    Q_OBJECT

public:
    GameSourceForm(const SourceFormState &form, const QString &search, QWidget *parent = nullptr);

    void refresh(const SourceFormState &form, const QString &search);

    // The game ids the picker lists, in order, and the section headings between them.
    QStringList pickerLines() const;

signals:
    void searchEdited(const QString &text);
    void gamePicked(const QString &gameID);
    void hostEdited(const QString &text);
    void portEdited(const QString &text);
    void useTLSToggled(bool on);
    void secretEdited(const QString &text);
    void queryPortEdited(const QString &text);

private:
    void rebuildPicker(const QString &search, const QString &selected);
    void refreshCredential(const SourceFormState &form);

    LabeledTextField *m_search;
    QComboBox *m_picker;
    QStandardItemModel *m_games;
    QLabel *m_setupNote;
    LabeledTextField *m_host;
    LabeledTextField *m_port;
    QCheckBox *m_useTLS;
    QLabel *m_tlsNote;
    LabeledSecureField *m_secret;
    QLabel *m_secretNote;
    QToolButton *m_advanced;
    LabeledTextField *m_queryPort;
    bool m_advancedOpen = false;
    QString m_listedSearch;
    QString m_listedSelection;
    std::optional<GameDefinition::CredentialUse> m_shownCredentialUse;
};

// Shows `text` in a field unless it already does, so the cursor of a field being typed into
// stays where it is.
void setFieldText(LabeledTextField *field, const QString &text);

} // namespace marrowick
