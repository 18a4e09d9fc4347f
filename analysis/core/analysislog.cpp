#include "analysis/core/analysislog.h"

namespace ov {

// Debug messages are off unless the logging rules turn them on.
Q_LOGGING_CATEGORY(lcAnalysis, "viziro.analysis", QtWarningMsg)

} // namespace ov
