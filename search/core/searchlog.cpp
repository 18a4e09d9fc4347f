#include "search/core/searchlog.h"

namespace ov {

// Debug messages are off unless the logging rules turn them on.
Q_LOGGING_CATEGORY(lcSearch, "viziro.search", QtWarningMsg)

} // namespace ov
