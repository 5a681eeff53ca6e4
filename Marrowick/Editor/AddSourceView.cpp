#include "Marrowick/Editor/AddSourceView.h"

#include "Marrowick/App/AppState.h"

namespace marrowick {

AddSourceView::AddSourceView(AppState *state, std::optional<AnySourceConfig> editingSource, QWidget *parent)
    : QDialog(parent), m_state(state), m_editingSource(std::move(editingSource))
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowModality(Qt::WindowModal);
}

} // namespace marrowick
