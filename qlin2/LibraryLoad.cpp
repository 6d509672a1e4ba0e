// Loading the library attaches the process to the shared block; unloading detaches it.
#include "qlin2/Attachment.h"

namespace varno::qlin2 {
namespace {

__attribute__((constructor)) void Loaded() { Attachment::Process().Attach(); }

__attribute__((destructor)) void Unloaded() { Attachment::Process().Detach(); }

}  // namespace
}  // namespace varno::qlin2
