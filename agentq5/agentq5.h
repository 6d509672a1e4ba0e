/*
 * agentq5.h - the mail gateway library libagentq5.so of Varno Agent.
 *
 * The agent turns the messages waiting in its users' mailboxes into message counters on their
 * telephones, and hands the PBX's outgoing text messages and its trap mails to this library.
 * The mailboxes are Maildirs (as Dovecot, Courier, Postfix's local delivery and mutt keep them);
 * mail leaves through the site's sendmail command (Postfix, Exim, msmtp, nullmailer all provide
 * one). The agent loads the library at run time (beside the program first) and looks the ten
 * functions below up by name; their names, arguments and results are the agent's contract.
 *
 * Threads: every function is called from one thread at a time (the agent's main thread). The
 * library keeps one thread of its own, the sender, which hands spooled messages to sendmail or to
 * a route's command; no function ever waits for the mail system.
 *
 * ---------------------------------------------------------------------------------------------
 * The configuration file (the path given to InicializaceQ5Komunikace), INI syntax: sections in
 * brackets, "key=value" lines, blanks around names and values dropped, lines beginning with ';'
 * or '#' are comments; section and key names are case-insensitive; UTF-8.
 *
 *   [Gateway]
 *   User=          must equal the user name the agent passes
 *   PasswordHash=  a crypt(3) hash ("openssl passwd -6", "mkpasswd -m sha-512"); checked with
 *                  libcrypt against the password the agent passes. Missing or empty: only an
 *                  empty password is accepted.
 *   Sendmail=      the command that takes one message on standard input; default
 *                  "/usr/sbin/sendmail -t -i". Split at blanks into the program and its
 *                  arguments (no shell; double quotes group words).
 *   From=          the sender of every message; default "varno-agent@" and the host name.
 *   Timeout=       seconds a sendmail or route command may run before it is killed; default 60.
 *   Retry=         seconds before the first retry of a failed command (1 to 600); default 5.
 *
 *   [Mailbox <label>]   one per mailbox, in file order; the label names it in logs.
 *   Owner=         the owner's name (cut to 59 bytes in the record)
 *   Phone=         the owner's telephone number, matched against the PBX's line numbers
 *                  (cut to 39 bytes in the record)
 *   Maildir=       the Maildir's path (required)
 *   Fax=           the Maildir++ folder of faxes, default ".Fax"
 *   Voice=         the Maildir++ folder of voice messages, default ".Voice"
 *
 *   [Routes]       how messages of the address types Q (SMS), V (voice), F (fax) and Z leave:
 *   Q=             a template in which "%s" stands for the address. One that begins with "|"
 *   V=             pipes the message to that command (split into words as Sendmail=, "%s"
 *   F=             replaced inside the words, never through a shell); any other template gives
 *   Z=             the mail address to send to, e.g. "%s@sms.example.net".
 *
 *   Lines that cannot be used (unknown sections or keys, numbers out of range) are logged and
 *   skipped; only an unreadable file and a mailbox without Maildir= fail the initialisation.
 *
 * ---------------------------------------------------------------------------------------------
 * What counts
 *   A waiting message is a file in new/, or a file in cur/ whose info (after ":2,") holds
 *   neither the flag S (seen) nor T (trashed). Category 'F' for the fax folder, 'H' for the voice
 *   folder, 'S' for the Maildir's own new/ and cur/ and every other Maildir++ folder (".Name").
 *   A message's identifier is a 32-bit hash of its mailbox and its unique name (the file name
 *   before ":2,"), so a move from new/ to cur/ and a change of flags keep it. The library makes
 *   identifiers unique among all messages it reports: on a clash the later message takes the next
 *   free number, and keeps it for as long as it waits.
 *
 * Reading (NactiZmenyVeSchrankach)
 *   Mode 1 returns every mailbox, each with one folder record per folder (also empty ones) that
 *   carries the folder's number of waiting messages and every waiting message (flags 0); a
 *   mailbox whose Maildir cannot be read comes with Readable 0 and no folder records. A folder
 *   with more messages than a 16-bit Count holds takes several records of the same name.
 *   Mode 3 returns only the mailboxes whose waiting messages differ from the library's snapshot,
 *   each with folder records of the changes: first the folders of the messages that stopped
 *   waiting (flags AQ5_MSG_SEEN: the file is still there but seen or trashed; AQ5_MSG_GONE: the
 *   file is gone), then the folders of the messages that newly wait (flags 0), so that a message
 *   moved between folders is taken away before it is added. A folder record's Count is the
 *   number of message records it carries in mode 3. No changes: result 0 and an empty list.
 *   What a read returns becomes the snapshot only when PotvrdPreneseniZmenVeSchrankach confirms
 *   it; a read that is not confirmed is reported again by the next read (with the same
 *   identifiers for the same new messages). An identifier reported gone is free again only once
 *   that is confirmed.
 *   A mailbox whose Maildir cannot be read (removed, no permission) counts as holding nothing:
 *   a mode-3 read reports its waiting messages as gone. When it can be read again, a mode-3 read
 *   returns it with Event AQ5_EVENT_RELOAD (2005) and no folders: the agent then reads it again
 *   with NactiZmenyVeSchrance in mode 1 and sets its counters, instead of adding to them. The
 *   mailbox holds nothing for the library until PotvrdPreneseniZmenVeSchrance confirms that
 *   re-read; until then every mode-3 read announces it again. A Maildir that was removed (or
 *   renamed) and made again while the library watched it comes the same way: the first mode-3
 *   read reports the old Maildir's messages gone, the next one brings the reload event, so that
 *   no identifier is ever reported waiting twice.
 *
 * The fast test (RychlyTestZmenVeSchrankach)
 *   Answers from inotify watches on every counted new/ and cur/ and on each Maildir (for folders
 *   that come and go), so a quiet mailbox costs no directory scan. Where inotify cannot be had
 *   (no more watches or instances), it compares the change times of those folders instead; a
 *   folder changed within the file system's time step is read again until its times can be
 *   trusted. The environment variable AGENTQ5_NO_INOTIFY=1, read at initialisation, makes the
 *   library compare change times only. A mailbox that cannot be read is looked for (two stat
 *   calls) at every fast test. It stays set while a read has not been confirmed.
 *
 * Sending (PosliStavovouZpravu)
 *   type 'I' or 0: a mail To: the address.
 *   type 'L':      delivered into the Maildir of the mailbox whose Phone or Owner equals the
 *                  address (written to tmp/, then moved to new/), so it shows on that owner's
 *                  telephone at the next check. Done at once; result 0 when delivered.
 *   'Q' 'V' 'F' 'Z': by [Routes]; a mail or a command.
 *   The address must be UTF-8 without control characters and must not begin with '-' (a command
 *   would take it for an option); anything else is refused with AQ5_SEND_NO_ADDRESS.
 *   A message is UTF-8 text/plain (invalid bytes become U+FFFD) with From, To, Subject (RFC 2047
 *   encoded when not ASCII), Date and Message-ID; control characters never reach a header.
 *   Result 0 means "taken over": the message is written to the spool in the working directory
 *   (a folder "agentq5-spool" there) and handed to sendmail or the route's command by the sender
 *   thread. A command that fails or hangs (killed after Timeout) is tried again after 5 s, then
 *   after twice as long each time, up to 10 minutes; the spool survives a restart and is sent
 *   then. A message leaves the spool only when its command ended with status 0. The oldest
 *   message that is due goes first; one waiting for its retry does not hold back the others.
 *   Only the process holding the lock file in the spool sends, so two processes on one working
 *   directory never send a message twice. A spool file that cannot be parsed is renamed
 *   "bad-<name>" and kept.
 *
 * Debug output (SetDebugLevel): 0 quiet, 1 errors, 2 also every read and every message; one line
 * each, beginning "agentq5: ", on standard error.
 * ---------------------------------------------------------------------------------------------
 */
#ifndef VARNO_AGENTQ5_H
#define VARNO_AGENTQ5_H

#include <stddef.h>
#include <stdint.h>

#if defined(__GNUC__)
#define AQ5_EXPORT __attribute__((visibility("default")))
#else
#define AQ5_EXPORT
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Results of InicializaceQ5Komunikace. */
#define AQ5_OK 0
#define AQ5_INIT_CONFIG_UNREADABLE 1 /* the configuration file cannot be read */
#define AQ5_INIT_MAILDIR_MISSING 2   /* a [Mailbox] section lacks Maildir= */
#define AQ5_INIT_USER_DIFFERS 3      /* the user name differs from [Gateway] User= */
#define AQ5_INIT_PASSWORD_WRONG 4    /* the password does not verify against PasswordHash= */
#define AQ5_INIT_SPOOL_UNUSABLE 5    /* the spool folder in the working directory cannot be made */
#define AQ5_INIT_ALREADY 6           /* initialised already; DeInicializaceQ5Komunikace first */

/* Results of the reads. */
#define AQ5_READ_NOT_INITIALISED 10    /* no successful InicializaceQ5Komunikace */
#define AQ5_READ_BAD_MODE 11           /* the parameter block's mode is neither 1 nor 3 */
#define AQ5_READ_NO_MEMORY 12          /* the records could not be allocated */
#define AQ5_READ_UNKNOWN_MAILBOX 13    /* NactiZmenyVeSchrance: not a record of the last read */
#define AQ5_READ_MAILDIR_UNREADABLE 14 /* NactiZmenyVeSchrance: the Maildir cannot be read */
#define AQ5_READ_BAD_ARGUMENT 15       /* a null pointer where a variable was expected */

/* Results of PosliStavovouZpravu. */
#define AQ5_SEND_NOT_INITIALISED 20
#define AQ5_SEND_NO_ADDRESS 21   /* empty address, or one that is unusable (see Sending) */
#define AQ5_SEND_NO_ROUTE 22     /* no [Routes] entry for the type, or an empty command */
#define AQ5_SEND_NO_MAILBOX 23   /* type 'L': no mailbox with that Phone or Owner */
#define AQ5_SEND_SPOOL_FAILED 24 /* the message could not be written (spool or Maildir) */
#define AQ5_SEND_UNKNOWN_TYPE 25 /* a type other than 0, 'I', 'L', 'Q', 'V', 'F', 'Z' */

/* The read modes (first word of the parameter block). */
#define AQ5_MODE_ALL 1
#define AQ5_MODE_CHANGES 3

/* A mailbox's event code: read it again in full. */
#define AQ5_EVENT_RELOAD 2005

/* Message flags: the message no longer waits. */
#define AQ5_MSG_SEEN 0x02
#define AQ5_MSG_GONE 0x04

#define AQ5_OWNER_SIZE 60
#define AQ5_PHONE_SIZE 40
#define AQ5_LABEL_SIZE 64
#define AQ5_UNIQUE_SIZE 42

#pragma pack(push, 1)

typedef struct AQ5_Message AQ5_Message;
typedef struct AQ5_Folder AQ5_Folder;
typedef struct AQ5_Mailbox AQ5_Mailbox;
typedef struct AQ5_Params AQ5_Params;

/* Message record. Offsets 4 (flags), 8 (identifier) and 54 (next) are the agent's contract. */
struct AQ5_Message {
    uint32_t Index;               /* 0   position in its folder record, from 0 */
    uint32_t Flags;               /* 4   0 waiting; AQ5_MSG_SEEN or AQ5_MSG_GONE: stopped waiting */
    uint32_t Id;                  /* 8   identifier */
    char Unique[AQ5_UNIQUE_SIZE]; /* 12  unique name, cut and zero-terminated (for logs) */
    AQ5_Message* Next;            /* 54  next message of the folder, or NULL */
};

/* Folder record. Offsets 0 (category), 1 (count) and 3 (first message) are the agent's contract.
 * The next-folder pointer follows the 8-byte first-message pointer, so it lies at offset 11,
 * not at 7 as in a build with 4-byte pointers. */
struct AQ5_Folder {
    char Category;             /* 0   'F' fax, 'H' voice, 'S' texts */
    uint16_t Count;            /* 1   mode 1: waiting messages; mode 3: message records */
    AQ5_Message* First;        /* 3   first message record, or NULL */
    AQ5_Folder* Next;          /* 11  next folder record, or NULL */
    char Name[AQ5_LABEL_SIZE]; /* 19  the folder's name: "" for the Maildir itself, else ".Name" */
};

/* Mailbox record. Offsets 9 (owner), 69 (phone), 109 (event), 113 (first folder) and 321 (next
 * mailbox) are the agent's contract. */
struct AQ5_Mailbox {
    uint32_t Index;             /* 0   position of its section in the configuration, from 0 */
    uint8_t Readable;           /* 4   1 when its Maildir could be read */
    uint8_t Reserved1[4];       /* 5 */
    char Owner[AQ5_OWNER_SIZE]; /* 9   Owner=, zero-terminated */
    char Phone[AQ5_PHONE_SIZE]; /* 69  Phone=, zero-terminated */
    int32_t Event;              /* 109 0, or AQ5_EVENT_RELOAD */
    AQ5_Folder* First;          /* 113 first folder record, or NULL */
    char Label[AQ5_LABEL_SIZE]; /* 121 the section's label */
    uint32_t Texts;             /* 185 waiting texts ('S') after this read */
    uint32_t Faxes;             /* 189 waiting faxes ('F') after this read */
    uint32_t Voice;             /* 193 waiting voice messages ('H') after this read */
    uint8_t Reserved2[124];     /* 197 */
    AQ5_Mailbox* Next;          /* 321 next mailbox record, or NULL */
};

/* The parameter block the agent allocates for each read: 28 bytes, the mode first. */
struct AQ5_Params {
    int32_t Mode; /* AQ5_MODE_ALL or AQ5_MODE_CHANGES */
    uint8_t Reserved[24];
};

#pragma pack(pop)

#ifdef __cplusplus
static_assert(offsetof(AQ5_Message, Flags) == 4, "message flags at 4");
static_assert(offsetof(AQ5_Message, Id) == 8, "message identifier at 8");
static_assert(offsetof(AQ5_Message, Next) == 54, "next message at 54");
static_assert(offsetof(AQ5_Folder, Category) == 0, "category at 0");
static_assert(offsetof(AQ5_Folder, Count) == 1, "count at 1");
static_assert(offsetof(AQ5_Folder, First) == 3, "first message at 3");
static_assert(offsetof(AQ5_Folder, Next) == 11, "next folder at 11 with 8-byte pointers");
static_assert(offsetof(AQ5_Mailbox, Owner) == 9, "owner at 9");
static_assert(offsetof(AQ5_Mailbox, Phone) == 69, "phone at 69");
static_assert(offsetof(AQ5_Mailbox, Event) == 109, "event at 109");
static_assert(offsetof(AQ5_Mailbox, First) == 113, "first folder at 113");
static_assert(offsetof(AQ5_Mailbox, Next) == 321, "next mailbox at 321");
static_assert(sizeof(AQ5_Params) == 28, "parameter block of 28 bytes");
#else
_Static_assert(offsetof(struct AQ5_Folder, Next) == 11, "next folder at 11 with 8-byte pointers");
_Static_assert(offsetof(struct AQ5_Mailbox, Next) == 321, "next mailbox at 321");
#endif

/* Reads the configuration, checks user and password, opens the spool in workDir and starts the
 * sender; messages left in the spool by an earlier run are sent. 0 or an AQ5_INIT_ number. */
AQ5_EXPORT int InicializaceQ5Komunikace(const char* configPath, const char* user, const char* workDir,
                                        const char* password);
/* Stops the sender (a running command is given up to 2 s, then killed; its message stays in the
 * spool), drops the watches and every record. Always 0. */
AQ5_EXPORT int DeInicializaceQ5Komunikace(void);
/* 0 quiet, 1 errors, 2 every read and every message. Always 0. */
AQ5_EXPORT int SetDebugLevel(uint32_t level);
/* Stops retries and sending for the rest of the run; the spool is kept for the next run. */
AQ5_EXPORT int ZastavAkci(void);

/* 0 when no mailbox has changed since the last confirmed read; 1 otherwise (and before the
 * first read). */
AQ5_EXPORT int RychlyTestZmenVeSchrankach(void);
/* Reads the mailboxes in the mode of params; *first receives the first mailbox record or NULL.
 * The records stay valid until the next read or the confirmation. */
AQ5_EXPORT int NactiZmenyVeSchrankach(AQ5_Mailbox** first, AQ5_Params* params);
/* Reads one mailbox of the last read again, in the mode of params (the agent passes 1); *current
 * receives the fresh record (NULL on failure). It stays valid until PotvrdPreneseniZmenVeSchrance
 * or the next read. */
AQ5_EXPORT int NactiZmenyVeSchrance(AQ5_Mailbox** current, AQ5_Params* params, AQ5_Mailbox* mailbox);
/* Confirms the re-read of one mailbox: it becomes that mailbox's snapshot. 0, or
 * AQ5_READ_UNKNOWN_MAILBOX when *current is no pending re-read. */
AQ5_EXPORT int PotvrdPreneseniZmenVeSchrance(AQ5_Mailbox** current);
/* Confirms the last read: what it returned becomes the snapshot. A variable that holds a list
 * other than the last read's is not taken (and logged); a null pointer confirms the last read.
 * Always 0. */
AQ5_EXPORT int PotvrdPreneseniZmenVeSchrankach(AQ5_Mailbox** first);

/* Sends a status message (see "Sending" above); flag is the agent's marker of the message's
 * origin (1 trap, '1' PBX message slot) and is written into the header X-Varno-Origin as "trap",
 * "pbx" or, for any other value, its decimal number.
 * 0 when taken over, else an AQ5_SEND_ number. */
AQ5_EXPORT int PosliStavovouZpravu(const char* address, char type, const char* subject, const char* text, char flag);

#ifdef __cplusplus
}
#endif

#endif /* VARNO_AGENTQ5_H */
