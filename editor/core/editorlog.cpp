#include "editor/core/editorlog.h"

namespace ov {

// Debug messages are off unless the logging rules turn them on.
Q_LOGGING_CATEGORY(lcEditor, "viziro.editor", QtWarningMsg)

} // namespace ov
