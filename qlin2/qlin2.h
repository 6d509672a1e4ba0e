/*
 * qlin2.h - the line-interface library QLIN2 (libQLIN2.so) for client applications and the agent.
 *
 * Through this library local programs follow the states of the PBX lines and send commands
 * (speaker, microphone, volume, dialling) for them, without talking to the PBX themselves.
 * The agent publishes the line names and pushes line-state records; a client opens one of five
 * client slots for one line, drains its ring of state records and queues commands, which the
 * library announces to the agent with one datagram each.
 *
 * Calling order for a client:
 *   QLIN_GetLines   learn the line names (pass a buffer of QLIN_LINE_NAMES_SIZE bytes);
 *   QLIN_Open       a line name and a ring capacity (1...30): a slot number 0...4, or an error;
 *   QLIN_GetStates  repeatedly, to drain the ring (pass room for the capacity chosen at open);
 *   QLIN_PutCommand when needed;
 *   QLIN_Close      when done - but only once the agent has had time to take the queued commands
 *                   (it takes each one as soon as its datagram arrives): the commands of a slot
 *                   that is no longer in use are not delivered.
 * Calling order for the agent: QLIN_Init, QLIN_Line for each line, QLIN_PutStates for every state
 * change, QLIN_GetCommand once per notification datagram, QLIN_DeInit before unloading.
 *
 * Every function may be called from any thread of any process that has the library loaded.
 *
 * ---------------------------------------------------------------------------------------------
 * The shared block
 *   A POSIX shared memory object, by default "/dllmemfilemap", of exactly QLIN_BLOCK_SIZE (6980)
 *   bytes, all integers 32-bit little-endian:
 *     0     Active (1 byte; 1 between QLIN_Init and QLIN_DeInit), 3 bytes reserved
 *     4     AgentWindow   the agent's notification handle (see "The agent's endpoint")
 *     8     AgentMessage  the message number of command notifications (the agent uses 33169)
 *     12    5 client slots of 1348 bytes each, slot i at 12 + 1348 * i:
 *             0 ReadIndex, 4 WriteIndex, 8 Overrun, 12 InUse (1 byte) + 3 reserved,
 *             16 Capacity, 20 Line, 24 CommandCount, 28 States (30 TStates records),
 *             1228 Commands (3 TStates records, oldest first)
 *     6752  LineNames: 56 names of 4 bytes; a shorter name ends with a zero byte
 *     6976  LineNameCount
 *   The objects are created with mode 0666 less the creating process's umask; every process
 *   that loads the library needs read and write access to both objects.
 *
 * Life of the block
 *   Loading the library (program start or dlopen) attaches the process; unloading it (exit,
 *   dlclose) or dying detaches it. The first process to attach while no other process is
 *   attached fills the block with zeros; later processes see its contents as they are. So after
 *   the last process has gone - even by a crash - the next one starts from a zero block.
 *   The objects themselves stay in /dev/shm (they are never unlinked, so that a process that is
 *   about to attach can never end up with a block of its own).
 *
 *   Beside the block lives a lock object, the block's name followed by ".lock"
 *   ("/dllmemfilemap.lock"). It holds
 *   - a robust, process-shared mutex that every function holds while it reads or writes the
 *     block, so that the agent and the clients never see half-written rings or command queues.
 *     A process that dies while holding it does not block the others: the next caller takes it
 *     over (EOWNERDEAD) and every function checks the ring indices and counts it reads, so a
 *     half-done update can never make it read or write outside the block;
 *   - the holder of each slot and the attachment that called QLIN_Init (outside the block, whose
 *     layout is fixed).
 *   Liveness is decided by the kernel, not by process ids: every attached process holds
 *   open-file-description locks (F_OFD_SETLK) on the lock object - a shared lock on byte 0 while
 *   it is attached, and an exclusive lock on a byte of its own (65536 + its attachment number).
 *   The kernel drops these locks when the process ends in any way, so a loader that finds no lock
 *   on byte 0 knows that it is alone, and a slot whose holder's byte is no longer locked belongs
 *   to a dead process. Attaching is serialised by an exclusive lock on byte 1. A child made by
 *   fork() (without exec) shares its parent's attachment, locks and slots; a normal unload by
 *   the parent closes the slots of that attachment.
 *   A process that unloads the library normally closes the slots it still holds.
 *
 * When the block cannot be attached (no access, a wrong size, an invalid QLIN2_SHM_NAME), the
 * library still loads - a shared object cannot refuse to load - writes one line to standard
 * error, and then does nothing: QLIN_Open returns QLIN_ERR_NO_BLOCK, the others return 0/false.
 *
 * Test environments
 *   QLIN2_SHM_NAME (read once, when the library is loaded) replaces "/dllmemfilemap" by another
 *   name, so that independent sets of processes can run side by side. It must begin with "/",
 *   contain no further "/" and be 2 to 64 characters long. The lock object and the agent's
 *   endpoint follow it (see below).
 *
 * ---------------------------------------------------------------------------------------------
 * The agent's endpoint
 *   The handle given to QLIN_Init names the agent's notification endpoint: a Unix datagram socket
 *   (AF_UNIX, SOCK_DGRAM) in the abstract namespace whose name is "VarnoAgent.qlin." followed by
 *   the handle in decimal, e.g. "VarnoAgent.qlin.4711" for handle 4711. When QLIN2_SHM_NAME is
 *   set to another name than the default, that name follows as it stands:
 *   "VarnoAgent.qlin.4711/mytest". The address is sun_path[0] = 0 followed by the name without a
 *   terminating zero, address length offsetof(struct sockaddr_un, sun_path) + 1 + length of name.
 *   QLIN2_EndpointName() below builds the name. The agent binds that socket before QLIN_Init
 *   and owns it; a usual choice of handle is the agent's process id.
 *
 *   Each datagram is 12 bytes: three 32-bit little-endian words.
 *   - Command notification, sent by QLIN_PutCommand:
 *       AgentMessage (unsigned), the slot's line (signed), the slot number (signed).
 *     The agent answers it with QLIN_GetCommand(slot, ...).
 *   - Show request, sent by QLIN_ShowWindow:
 *       QLIN_SHOW_MESSAGE (24), the show command (signed, QLIN_SW_...), 0.
 *     The agent shows, restores, minimizes or hides its main window accordingly.
 *   Datagrams are sent without waiting; when the agent's socket is missing or its queue is full
 *   the call reports failure. The abstract namespace has no permissions: the agent treats a
 *   notification only as a hint to look into the block.
 *
 * ---------------------------------------------------------------------------------------------
 * Choices of this library where the behaviour would otherwise be open
 *   - QLIN_Open refuses a capacity outside 1...30 with QLIN_ERR_CAPACITY (-4), checked first.
 *     It clears ReadIndex, WriteIndex and Overrun (and CommandCount) of the slot it hands out,
 *     so a reused slot never delivers its previous holder's records.
 *   - QLIN_Open counts a slot whose holder process has died as free, and refuses with
 *     QLIN_ERR_AGENT_INACTIVE (-2) while the process that called QLIN_Init has died without
 *     QLIN_DeInit.
 *   - QLIN_Open compares at most the first 4 characters of the name (a longer name matches the
 *     line named by its first 4); an empty or NULL name matches no line.
 *   - A slot outside 0...4, or not in use: QLIN_PutCommand and QLIN_GetStates return 0,
 *     QLIN_GetCommand returns false and leaves the record untouched. QLIN_GetCommand with no
 *     command queued returns false and leaves the record untouched.
 *   - QLIN_PutCommand queues the command only when its notification was sent: it returns 1 for
 *     "queued and announced", and 0 means nothing was queued (queue full, slot not in use, agent
 *     endpoint missing or busy), so the caller may simply try again later without doubling it.
 *   - QLIN_Line with an index outside 0...55 or a NULL name changes nothing; it copies the name up
 *     to its first zero byte, at most 4 bytes, and fills the rest of the 4 bytes with zeros.
 *   - Texts are zero-terminated: QLIN_PutStates and QLIN_PutCommand store Text with its last byte
 *     set to zero, so a reader always gets a terminated text of at most 31 characters.
 *   - QLIN_GetLines(NULL) returns LineNameCount without copying.
 *   - QLIN_PutStates returns true, or false for a NULL record, when the block is not attached, or
 *     when the lock could not be had at once (see below).
 *   - Overrun stops growing at 2^31 - 1.
 *   - QLIN_ShowWindow with handle 0 sends to the endpoint of the agent recorded by QLIN_Init.
 *     It returns 1 when the show request was sent and 0 otherwise.
 *   - The agent never waits for a client. A client stopped inside a call (SIGSTOP, a debugger)
 *     keeps the block's lock; the clients' calls wait until it is let go, but the agent's calls
 *     (QLIN_Init, QLIN_DeInit, QLIN_Line, QLIN_PutStates, QLIN_GetCommand) and the unloading of
 *     the library wait for it about 10 ms at most, QLIN_Init about one second (it runs once, at
 *     the agent's start). Once such a wait has run out, these calls of the same process take the
 *     lock for the next second only when it is free at once, so that a stopped client costs the
 *     agent one short wait a second rather than one on every call; the first of them that finds
 *     the lock free ends that second early.
 *     What a call could not do without the lock is kept in the agent's process and done, in the
 *     order the calls came, by the next of these calls that gets the lock, before its own work:
 *       QLIN_Line       the name is published then; a later QLIN_Line for the same index replaces
 *                       it.
 *       QLIN_PutStates  the record is not written and the call returns false. It counts as an
 *                       overrun of the slots that follow its line: the number of such records of
 *                       each line (0...55) is added to Overrun of every one of those slots whose
 *                       ring is full. A ring that is not full cannot show them, since a non-zero
 *                       Overrun means that the ring is full.
 *       QLIN_Init       carried out then; the agent need not call it again.
 *       QLIN_DeInit     drops a QLIN_Init that still waits, and nothing else: the block goes on
 *                       showing the agent as active, but once the agent's process has unloaded
 *                       the library or ended, QLIN_Open refuses with QLIN_ERR_AGENT_INACTIVE all
 *                       the same.
 *       QLIN_GetCommand returns false and sets errno to ETIMEDOUT; the command stays queued, so
 *                       the agent may try that slot again later. Every other false result of
 *                       QLIN_GetCommand sets errno to 0.
 *       unloading       the process's slots are not closed in the block, but QLIN_Open counts
 *                       them as free all the same: the process's liveness lock goes with it.
 */
#ifndef QLIN2_QLIN2_H
#define QLIN2_QLIN2_H

#include <stdbool.h>
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#if defined(QLIN2_BUILDING)
#define QLIN2_API __attribute__((visibility("default")))
#else
#define QLIN2_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Sizes of the block and its tables. */
#define QLIN_BLOCK_SIZE 6980
#define QLIN_SLOT_COUNT 5
#define QLIN_MAX_CAPACITY 30
#define QLIN_MAX_COMMANDS 3
#define QLIN_MAX_LINES 56
#define QLIN_LINE_NAME_SIZE 4
#define QLIN_LINE_NAMES_SIZE (QLIN_MAX_LINES * QLIN_LINE_NAME_SIZE)
#define QLIN_TEXT_SIZE 32
/* The agent dials at most this many characters of a dial command's Text. */
#define QLIN_DIAL_DIGITS_MAX 30
/* The characters a dial command's Text may hold; the PBX has no code for any other. */
#define QLIN_DIAL_CHARACTERS "1234567890*#F,SABCDTW-x?P"

/* Names. */
#define QLIN_SHM_DEFAULT_NAME "/dllmemfilemap"
#define QLIN_SHM_NAME_ENV "QLIN2_SHM_NAME"
#define QLIN_LOCK_SUFFIX ".lock"
#define QLIN_ENDPOINT_PREFIX "VarnoAgent.qlin."
#define QLIN_SHM_NAME_MAX 64

/* The message number the agent passes to QLIN_Init for command notifications. */
#define QLIN_AGENT_MESSAGE 33169u
/* First word of a show request datagram. */
#define QLIN_SHOW_MESSAGE 24u

/* Results of QLIN_Open other than a slot number. */
#define QLIN_ERR_NO_SLOT (-1)        /* all five slots are held by live processes */
#define QLIN_ERR_AGENT_INACTIVE (-2) /* no agent has called QLIN_Init, or it has gone */
#define QLIN_ERR_NO_LINE (-3)        /* no published line has that name */
#define QLIN_ERR_CAPACITY (-4)       /* capacity outside 1...30 */
#define QLIN_ERR_NO_BLOCK (-5)       /* the shared block could not be attached */

/* Command codes, carried in State of a command record. */
#define QLIN_CMD_SPEAKER 0    /* speaker on/off */
#define QLIN_CMD_MICROPHONE 1 /* microphone on/off */
#define QLIN_CMD_VOLUME_UP 2
#define QLIN_CMD_VOLUME_DOWN 3
#define QLIN_CMD_DIAL 4 /* dial the digits in Text (at most 30 are used) */

/* Show commands of QLIN_ShowWindow (the values of the Win32 SW_ constants). */
#define QLIN_SW_HIDE 0
#define QLIN_SW_SHOWNORMAL 1
#define QLIN_SW_SHOWMINIMIZED 2
#define QLIN_SW_SHOW 5
#define QLIN_SW_MINIMIZE 6
#define QLIN_SW_RESTORE 9

/* One line-state record (agent to client) or command (client to agent); 40 bytes. */
typedef struct TStates {
    int32_t Line;              /* index into the line names; in a command -1 stands for the slot's line */
    int32_t State;             /* the line's state code, or the command code (QLIN_CMD_...) */
    char Text[QLIN_TEXT_SIZE]; /* zero-terminated: the other party, or the digits to dial */
} TStates;

/* The agent's side. */
QLIN2_API void QLIN_Init(uint32_t window, uint32_t message);
QLIN2_API void QLIN_DeInit(void);
QLIN2_API void QLIN_Line(int index, const char* name);
QLIN2_API bool QLIN_PutStates(const TStates* record);
QLIN2_API bool QLIN_GetCommand(int slot, TStates* record);

/* The clients' side. */
QLIN2_API int QLIN_Open(const char* name, int capacity);
QLIN2_API void QLIN_Close(int slot);
QLIN2_API int QLIN_PutCommand(int slot, TStates* command);
QLIN2_API int QLIN_GetStates(int slot, TStates* buffer);
QLIN2_API int QLIN_GetLines(char* buffer);
QLIN2_API int QLIN_ShowWindow(uint32_t window, int command);

/*
 * The shared block's name for this process: QLIN2_SHM_NAME when it is set and not empty,
 * otherwise "/dllmemfilemap". NULL when QLIN2_SHM_NAME is not a valid name.
 */
static inline const char* QLIN2_SharedName(void)
{
    const char* name = getenv(QLIN_SHM_NAME_ENV);
    size_t length;
    if (name == NULL || name[0] == '\0')
        return QLIN_SHM_DEFAULT_NAME;
    length = strlen(name);
    if (name[0] != '/' || length < 2 || length > QLIN_SHM_NAME_MAX || strchr(name + 1, '/') != NULL)
        return NULL;
    return name;
}

/*
 * Writes the endpoint name of the agent handle `window` for the block `sharedName` into buffer
 * (zero-terminated). Returns the length of the name, or 0 when it does not fit or sharedName is
 * NULL.
 */
static inline size_t QLIN2_FormatEndpointName(char* buffer, size_t size, uint32_t window, const char* sharedName)
{
    int length;
    if (buffer == NULL || sharedName == NULL)
        return 0;
    length = snprintf(buffer, size, "%s%lu%s", QLIN_ENDPOINT_PREFIX, (unsigned long)window,
                      strcmp(sharedName, QLIN_SHM_DEFAULT_NAME) == 0 ? "" : sharedName);
    if (length <= 0 || (size_t)length >= size)
        return 0;
    return (size_t)length;
}

/* The endpoint name of the agent handle `window` in this process's environment. */
static inline size_t QLIN2_EndpointName(char* buffer, size_t size, uint32_t window)
{
    return QLIN2_FormatEndpointName(buffer, size, window, QLIN2_SharedName());
}

#ifdef __cplusplus
}
#endif

#endif /* QLIN2_QLIN2_H */
