// The ten functions the agent looks up by name. Each one keeps every exception inside the
// library: the agent is no C++ caller.
#include "agentq5/DebugLog.h"
#include "agentq5/Gateway.h"
#include "agentq5/agentq5.h"

#include <exception>
#include <memory>
#include <new>

namespace varno::agentq5 {
namespace {

std::unique_ptr<Gateway>& Current()
{
    static std::unique_ptr<Gateway> gateway;
    return gateway;
}

bool ValidMode(const AQ5_Params* params) { return params->Mode == AQ5_MODE_ALL || params->Mode == AQ5_MODE_CHANGES; }

}  // namespace
}  // namespace varno::agentq5

using varno::agentq5::Current;
using varno::agentq5::LogErrors;
using varno::agentq5::LogLine;

extern "C" {

AQ5_EXPORT int InicializaceQ5Komunikace(const char* configPath, const char* user, const char* workDir,
                                        const char* password)
{
    if (Current()) {
        LogLine(LogErrors, "initialised already");
        return AQ5_INIT_ALREADY;
    }
    try {
        return varno::agentq5::Gateway::Start(configPath, user, workDir, password, Current());
    } catch (const std::exception& error) {
        LogLine(LogErrors, "initialisation failed: %s", error.what());
        Current().reset();
        return AQ5_INIT_SPOOL_UNUSABLE;
    }
}

AQ5_EXPORT int DeInicializaceQ5Komunikace(void)
{
    Current().reset();
    return AQ5_OK;
}

AQ5_EXPORT int SetDebugLevel(uint32_t level)
{
    varno::agentq5::SetLogLevel(level);
    return AQ5_OK;
}

AQ5_EXPORT int ZastavAkci(void)
{
    if (Current())
        Current()->StopActions();
    return AQ5_OK;
}

AQ5_EXPORT int RychlyTestZmenVeSchrankach(void)
{
    if (!Current())
        return 0;
    try {
        return Current()->Reader().FastTest();
    } catch (const std::exception& error) {
        LogLine(LogErrors, "fast test: %s", error.what());
        return 1;
    }
}

AQ5_EXPORT int NactiZmenyVeSchrankach(AQ5_Mailbox** first, AQ5_Params* params)
{
    if (first != nullptr)
        *first = nullptr;
    if (!Current())
        return AQ5_READ_NOT_INITIALISED;
    if (first == nullptr || params == nullptr)
        return AQ5_READ_BAD_ARGUMENT;
    if (!varno::agentq5::ValidMode(params))
        return AQ5_READ_BAD_MODE;
    try {
        return Current()->Reader().ReadAll(first, params->Mode);
    } catch (const std::bad_alloc&) {
        LogLine(LogErrors, "read: no memory for the records");
        return AQ5_READ_NO_MEMORY;
    } catch (const std::exception& error) {
        LogLine(LogErrors, "read: %s", error.what());
        return AQ5_READ_NO_MEMORY;
    }
}

AQ5_EXPORT int NactiZmenyVeSchrance(AQ5_Mailbox** current, AQ5_Params* params, AQ5_Mailbox* mailbox)
{
    if (!Current()) {
        if (current != nullptr)
            *current = nullptr;
        return AQ5_READ_NOT_INITIALISED;
    }
    if (current == nullptr || params == nullptr)
        return AQ5_READ_BAD_ARGUMENT;
    *current = nullptr;
    if (!varno::agentq5::ValidMode(params))
        return AQ5_READ_BAD_MODE;
    try {
        return Current()->Reader().ReadOne(current, params->Mode, mailbox);
    } catch (const std::exception& error) {
        LogLine(LogErrors, "read of one mailbox: %s", error.what());
        *current = nullptr;
        return AQ5_READ_NO_MEMORY;
    }
}

AQ5_EXPORT int PotvrdPreneseniZmenVeSchrance(AQ5_Mailbox** current)
{
    if (!Current())
        return AQ5_READ_NOT_INITIALISED;
    try {
        return Current()->Reader().ConfirmOne(current);
    } catch (const std::exception& error) {
        LogLine(LogErrors, "confirmation of one mailbox: %s", error.what());
        return AQ5_READ_NO_MEMORY;
    }
}

AQ5_EXPORT int PotvrdPreneseniZmenVeSchrankach(AQ5_Mailbox** first)
{
    if (!Current())
        return AQ5_OK;
    try {
        Current()->Reader().ConfirmAll(first);
    } catch (const std::exception& error) {
        LogLine(LogErrors, "confirmation: %s", error.what());
    }
    return AQ5_OK;
}

AQ5_EXPORT int PosliStavovouZpravu(const char* address, char type, const char* subject, const char* text, char flag)
{
    if (!Current())
        return AQ5_SEND_NOT_INITIALISED;
    try {
        return Current()->Send(address, type, subject, text, flag);
    } catch (const std::exception& error) {
        LogLine(LogErrors, "message not taken over: %s", error.what());
        return AQ5_SEND_SPOOL_FAILED;
    }
}

}  // extern "C"
