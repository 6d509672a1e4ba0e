#include "agent/service/ProcessRole.h"

namespace varno {

TProcessRole DecideProcessRole(const QStringList& arguments)
{
    TProcessRole role;
    role.ServiceMode = arguments.contains(QStringLiteral("/service"));
    role.ServiceActive = false;
    return role;
}

bool RunsHeadless(const TProcessRole& role)
{
    return role.ServiceMode ||
           (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"));
}

}  // namespace varno
