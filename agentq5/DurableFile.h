#pragma once
#include <string>

namespace varno::agentq5 {

// Writes a new file (never one that exists) and flushes it to the disk before
// it counts as written, so that a message moved into place afterwards is
// whole even after a power cut. On failure the file is removed and error
// says why.
bool WriteNewFile(const std::string& path, const std::string& data, std::string& error);

}  // namespace varno::agentq5
