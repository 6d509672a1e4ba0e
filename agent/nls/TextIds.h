#pragma once

namespace varno {

// The message texts of the language files (section Texty) by name. The
// numbers are the keys in the files: they never change.
namespace Txt {
enum : int {
    PbxConfiguration = 100,
    PbxIdentification = 101,
    LineStates = 102,
    LineListQuery = 103,
    Command14Data = 104,
    NoLineList = 105,  // followed by the status
    LineListReceived = 106,
    BillingQuery = 107,
    LineStateQuery = 108,
    SlotQuery = 109,
    SlotEmpty = 110,
    SlotClearing = 111,
    SlotNotRead = 112,  // followed by the status
    MailboxCheck = 113,
    CountersWriting = 114,
    MailboxUnchanged = 115,
    LinkFailed = 116,
    LinkRestored = 117,
    ServerStarted = 119,
    ServerNotStartedStatus = 120,  // followed by the reason
    ServerNotStarted = 121,
    NoConfigurationFile = 122,
    WarningCaption = 123,
    PortOpened = 124,     // followed by the port settings
    PortNotOpened = 125,  // followed by the port settings
    GatewayStarted = 126,
    GatewayNotStarted = 127,
    NoBillingRecord = 128,
    LocalMail = 129,
    VoiceMessage = 130,
    CountersRefused = 131,  // followed by the status
    CountersAccepted = 132,
    CountersResetting = 133,
    PortChangeFailed = 134,
    ResumeCommand = 135,
    StopCommand = 136,
    ErrorCaption = 137,
    FailedStatus = 138,  // followed by the status
    AgentVersion = 139,
    PbxVersion = 140,
    PbxNotSupported = 141,
    PbxNotSupportedNote = 142,
    PbxNotApproved = 143,
    PbxNotApprovedNote = 144,
    Ok = 145,
    BillingFileNotCreated = 146,
    ServiceAccessDenied = 200,
    CommandNames = 1000,  // plus the command code
    ItemNames = 2000,     // plus the item number
};
}  // namespace Txt

// The block texts (section Text), read a block of a hundred at a time.
namespace BlockTxt {
enum : int {
    TrapRecovered = 200,     // opens the block of the trap texts
    TrapFailed = 299,        // closes it
    MailboxReRead = 300,     // opens the block of the mailbox check's errors
    MailboxNotReRead = 301,  // followed by the error number
    MailboxesNotRead = 399,  // followed by the error number; closes the block
};
}  // namespace BlockTxt

}  // namespace varno
