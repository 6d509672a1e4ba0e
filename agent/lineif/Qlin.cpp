#include "agent/lineif/Qlin.h"

#include <dlfcn.h>

namespace varno {

TQLIN::TQLIN(const QString& programDir) : TRuntimeLibrary(LoadRuntimeLibrary(programDir, LibraryName))
{
    if (!Module)
        return;
    // In the order the line interface names them; the first one missing ends the binding.
    const bool all = BindEntryPoint(Module, "QLIN_Init", QLIN_Init, Problem) &&
                     BindEntryPoint(Module, "QLIN_DeInit", QLIN_DeInit, Problem) &&
                     BindEntryPoint(Module, "QLIN_Line", QLIN_Line, Problem) &&
                     BindEntryPoint(Module, "QLIN_Open", QLIN_Open, Problem) &&
                     BindEntryPoint(Module, "QLIN_Close", QLIN_Close, Problem) &&
                     BindEntryPoint(Module, "QLIN_PutStates", QLIN_PutStates, Problem) &&
                     BindEntryPoint(Module, "QLIN_PutCommand", QLIN_PutCommand, Problem) &&
                     BindEntryPoint(Module, "QLIN_GetCommand", QLIN_GetCommand, Problem) &&
                     BindEntryPoint(Module, "QLIN_GetStates", QLIN_GetStates, Problem);
    if (all) {
        Loaded = true;
        return;
    }
    // An incomplete library is not kept: it would hold the shared block for nothing.
    Problem = Path + QStringLiteral(": ") + Problem;
    Unload();
}

TQLIN::~TQLIN() { Unload(); }

void TQLIN::Unload()
{
    Loaded = false;
    QLIN_Init = nullptr;
    QLIN_DeInit = nullptr;
    QLIN_Line = nullptr;
    QLIN_PutStates = nullptr;
    QLIN_Open = nullptr;
    QLIN_Close = nullptr;
    QLIN_GetCommand = nullptr;
    QLIN_PutCommand = nullptr;
    QLIN_GetStates = nullptr;
    if (Module)
        dlclose(Module);
    Module = nullptr;
}

}  // namespace varno
