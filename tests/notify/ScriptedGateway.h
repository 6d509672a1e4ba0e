#pragma once
#include "agentq5/agentq5.h"

// A stand-in for the mail gateway library at its documented interface, for
// the binding's answers to what the real gateway cannot be made to do on
// demand: a failed read, a failed re-read, records the binding never counted.
// The test builds the records and reads back what the binding did.
struct ScriptedGatewayScript {
    int FastTest = 1;
    int ReadResult = 0;
    AQ5_Mailbox* List = nullptr;
    int ReReadResult = 0;
    AQ5_Mailbox* ReRead = nullptr;  // what a re-read returns (may be null)
    // What the binding did.
    int Reads = 0;
    int LastReadMode = 0;
    int ReReads = 0;
    int ReReadMode = 0;
    AQ5_Mailbox* ReReadOf = nullptr;
    int MailboxConfirms = 0;
    int ListConfirms = 0;
};

extern "C" ScriptedGatewayScript* ScriptedGateway();
