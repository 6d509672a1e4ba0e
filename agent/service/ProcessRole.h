#pragma once
#include <QStringList>

#include "agent/app/MainForm.h"

namespace varno {

// "/service" anywhere among the arguments makes this process the service.
// A monitor is an instance that found the service running; service hosting
// does not tell that yet, so ServiceActive stays false.
TProcessRole DecideProcessRole(const QStringList& arguments);

// No window: the service, or no display to show one on.
bool RunsHeadless(const TProcessRole& role);

}  // namespace varno
