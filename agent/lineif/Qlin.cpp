#include "agent/lineif/Qlin.h"

#include <dlfcn.h>

namespace varno {
namespace {

// The loader's last error, or a stand-in when it has none.
QString loaderError()
{
    const char* error = dlerror();
    return error ? QString::fromLocal8Bit(error) : QStringLiteral("unknown error");
}

template <typename Function>
bool bind(void* module, const char* name, Function& entry, QString& problem)
{
    dlerror();
    entry = reinterpret_cast<Function>(dlsym(module, name));
    if (!entry)
        problem = QStringLiteral("entry point %1 missing").arg(QLatin1String(name));
    return entry != nullptr;
}

}  // namespace

TQLIN::TQLIN(const QString& programDir)
{
    const QString own = programDir + QLatin1Char('/') + QLatin1String(LibraryName);
    Module = dlopen(own.toLocal8Bit().constData(), RTLD_NOW | RTLD_LOCAL);
    if (Module) {
        Path = own;
    } else {
        const QString ownError = loaderError();
        Module = dlopen(LibraryName, RTLD_NOW | RTLD_LOCAL);
        if (!Module) {
            Problem = ownError + QStringLiteral("; ") + loaderError();
            return;
        }
        Path = QLatin1String(LibraryName);
    }
    // In the order the line interface names them; the first one missing ends the binding.
    const bool all =
        bind(Module, "QLIN_Init", QLIN_Init, Problem) && bind(Module, "QLIN_DeInit", QLIN_DeInit, Problem) &&
        bind(Module, "QLIN_Line", QLIN_Line, Problem) && bind(Module, "QLIN_Open", QLIN_Open, Problem) &&
        bind(Module, "QLIN_Close", QLIN_Close, Problem) && bind(Module, "QLIN_PutStates", QLIN_PutStates, Problem) &&
        bind(Module, "QLIN_PutCommand", QLIN_PutCommand, Problem) &&
        bind(Module, "QLIN_GetCommand", QLIN_GetCommand, Problem) &&
        bind(Module, "QLIN_GetStates", QLIN_GetStates, Problem);
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
