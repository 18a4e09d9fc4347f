#include "editor/addinfopanel.h"

#include "editor/sourceedit.h"

namespace ov {

AddInfoPanel::AddInfoPanel(SourceEdit *editor)
    : QWidget(editor), editor(editor)
{
}

} // namespace ov
