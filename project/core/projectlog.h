#pragma once

#include <QLoggingCategory>

namespace ov {

// For developers: warnings for failures the user is not told about, debug
// messages for what is skipped on purpose, shown with QT_LOGGING_RULES="viziro.project.debug=true".
Q_DECLARE_LOGGING_CATEGORY(lcProject)

} // namespace ov
