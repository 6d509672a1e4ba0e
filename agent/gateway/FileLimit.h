#pragma once
#include <QString>

namespace varno {

// Every client connection takes a file descriptor. Raises the process's
// soft limit of open files to its hard limit, so that many clients can be
// connected at once. Returns false with a reason when the limit could not
// be raised; `limit` gets the soft limit in force afterwards.
bool RaiseFileLimit(long long* limit, QString* error);

}  // namespace varno
