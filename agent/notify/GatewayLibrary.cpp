#include "agent/notify/GatewayLibrary.h"

#include <dlfcn.h>

namespace varno {

TGatewayLibrary::TGatewayLibrary(const QString& programDir)
    : TRuntimeLibrary(LoadRuntimeLibrary(programDir, LibraryName))
{
    if (!Module)
        return;
    // In the order the binding names them; the first one missing ends the lookup.
    complete_ = BindEntryPoint(Module, "NactiZmenyVeSchrance", NactiZmenyVeSchrance, Problem) &&
                BindEntryPoint(Module, "PotvrdPreneseniZmenVeSchrance", PotvrdPreneseniZmenVeSchrance, Problem) &&
                BindEntryPoint(Module, "RychlyTestZmenVeSchrankach", RychlyTestZmenVeSchrankach, Problem) &&
                BindEntryPoint(Module, "NactiZmenyVeSchrankach", NactiZmenyVeSchrankach, Problem) &&
                BindEntryPoint(Module, "PotvrdPreneseniZmenVeSchrankach", PotvrdPreneseniZmenVeSchrankach, Problem) &&
                BindEntryPoint(Module, "PosliStavovouZpravu", PosliStavovouZpravu, Problem) &&
                BindEntryPoint(Module, "InicializaceQ5Komunikace", InicializaceQ5Komunikace, Problem) &&
                BindEntryPoint(Module, "DeInicializaceQ5Komunikace", DeInicializaceQ5Komunikace, Problem) &&
                BindEntryPoint(Module, "SetDebugLevel", SetDebugLevel, Problem) &&
                BindEntryPoint(Module, "ZastavAkci", ZastavAkci, Problem);
    if (!complete_)
        Problem = Path + QStringLiteral(": ") + Problem;
}

TGatewayLibrary::~TGatewayLibrary()
{
    if (Module)
        dlclose(Module);
}

}  // namespace varno
