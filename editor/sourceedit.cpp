#include "editor/sourceedit.h"

namespace ov {

SourceEdit::SourceEdit(QString, MainView *) : QPlainTextEdit(nullptr) {}

} // namespace ov
