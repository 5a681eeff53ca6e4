#pragma once

#include "MarrowickKit/Model/AnySourceConfig.h"

#include <QDialog>
#include <QPointer>

#include <optional>

namespace marrowick {

class AppState;

// The sheet that adds a source (no configuration given) or edits one. Open it window-modal
// with open(); it deletes itself when closed.
class AddSourceView : public QDialog {
    Q_OBJECT

public:
    explicit AddSourceView(AppState *state, std::optional<AnySourceConfig> editingSource = std::nullopt,
                           QWidget *parent = nullptr);

private:
    QPointer<AppState> m_state;
    std::optional<AnySourceConfig> m_editingSource;
};

} // namespace marrowick
