#pragma once
#include <QString>

#include "agentq5/agentq5.h"
#include "platform/library/RuntimeLibrary.h"

namespace varno {

// The mail gateway library, loaded at run time: first from the program's
// folder, then by name from the library path. Its ten functions are looked
// up by name; the first one missing ends the lookup.
class TGatewayLibrary : public TRuntimeLibrary {
public:
    static constexpr const char* LibraryName = "libagentq5.so";

    explicit TGatewayLibrary(const QString& programDir);
    ~TGatewayLibrary();
    TGatewayLibrary(const TGatewayLibrary&) = delete;
    TGatewayLibrary& operator=(const TGatewayLibrary&) = delete;

    // All ten functions were found.
    bool Complete() const { return complete_; }
    // Module and Path come with the library; Problem says why it was not
    // loaded or not complete.
    decltype(&::RychlyTestZmenVeSchrankach) RychlyTestZmenVeSchrankach = nullptr;
    decltype(&::NactiZmenyVeSchrance) NactiZmenyVeSchrance = nullptr;
    decltype(&::PotvrdPreneseniZmenVeSchrance) PotvrdPreneseniZmenVeSchrance = nullptr;
    decltype(&::NactiZmenyVeSchrankach) NactiZmenyVeSchrankach = nullptr;
    decltype(&::PotvrdPreneseniZmenVeSchrankach) PotvrdPreneseniZmenVeSchrankach = nullptr;
    decltype(&::PosliStavovouZpravu) PosliStavovouZpravu = nullptr;
    decltype(&::InicializaceQ5Komunikace) InicializaceQ5Komunikace = nullptr;
    decltype(&::DeInicializaceQ5Komunikace) DeInicializaceQ5Komunikace = nullptr;
    decltype(&::SetDebugLevel) SetDebugLevel = nullptr;
    decltype(&::ZastavAkci) ZastavAkci = nullptr;

private:
    bool complete_ = false;
};

}  // namespace varno
