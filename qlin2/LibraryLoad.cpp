// Loading the library attaches the process to the shared block; unloading detaches it.
#include "qlin2/Attachment.h"

namespace {

__attribute__((constructor)) void qlin2Loaded()
{
    qlin2::Attachment::process().attach();
}

__attribute__((destructor)) void qlin2Unloaded()
{
    qlin2::Attachment::process().detach();
}

} // namespace
