#include "host/resources.h"

#include <QtGlobal>

static void registerViziroIcons()
{
    Q_INIT_RESOURCE(viziro_icons);
}

namespace ov {

void initResources()
{
    static const bool done = (registerViziroIcons(), true);
    Q_UNUSED(done);
}

} // namespace ov
