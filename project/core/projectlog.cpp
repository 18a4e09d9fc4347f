#include "project/core/projectlog.h"

namespace ov {

// Debug messages are off unless the logging rules turn them on.
Q_LOGGING_CATEGORY(lcProject, "viziro.project", QtWarningMsg)

} // namespace ov
