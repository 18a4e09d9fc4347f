#include "app/applog.h"

namespace ov {

// Debug messages are off unless the logging rules turn them on.
Q_LOGGING_CATEGORY(lcApp, "viziro.app", QtWarningMsg)

} // namespace ov
