// The scripted stand-in for the mail gateway library (see ScriptedGateway.h).
#include "ScriptedGateway.h"

#define SCRIPTED_EXPORT extern "C" __attribute__((visibility("default")))

namespace {
ScriptedGatewayScript script;
}

SCRIPTED_EXPORT ScriptedGatewayScript* ScriptedGateway() { return &script; }

SCRIPTED_EXPORT int InicializaceQ5Komunikace(const char*, const char*, const char*, const char*) { return 0; }
SCRIPTED_EXPORT int DeInicializaceQ5Komunikace() { return 0; }
SCRIPTED_EXPORT int SetDebugLevel(uint32_t) { return 0; }
SCRIPTED_EXPORT int ZastavAkci() { return 0; }
SCRIPTED_EXPORT int RychlyTestZmenVeSchrankach() { return script.FastTest; }
SCRIPTED_EXPORT int PosliStavovouZpravu(const char*, char, const char*, const char*, char) { return 0; }

SCRIPTED_EXPORT int NactiZmenyVeSchrankach(AQ5_Mailbox** first, AQ5_Params* params)
{
    ++script.Reads;
    script.LastReadMode = params->Mode;
    *first = script.ReadResult == 0 ? script.List : nullptr;
    return script.ReadResult;
}

SCRIPTED_EXPORT int NactiZmenyVeSchrance(AQ5_Mailbox** current, AQ5_Params* params, AQ5_Mailbox* mailbox)
{
    ++script.ReReads;
    script.ReReadMode = params->Mode;
    script.ReReadOf = mailbox;
    *current = script.ReRead;
    return script.ReReadResult;
}

SCRIPTED_EXPORT int PotvrdPreneseniZmenVeSchrance(AQ5_Mailbox**)
{
    ++script.MailboxConfirms;
    return 0;
}

SCRIPTED_EXPORT int PotvrdPreneseniZmenVeSchrankach(AQ5_Mailbox**)
{
    ++script.ListConfirms;
    return 0;
}
