// The eleven functions of the library. Each one holds the block's lock while it works on the
// block and waits for nothing else. The clients' calls wait for the lock until they have it; the
// agent's calls wait only briefly and leave what they could not do to the agent's backlog.
#include "qlin2/qlin2.h"

#include "qlin2/AgentBacklog.h"
#include "qlin2/AgentEndpoint.h"
#include "qlin2/Attachment.h"
#include "qlin2/ClientSlot.h"

#include <cerrno>
#include <cstring>

namespace varno::qlin2 {
namespace {

bool SlotNumberValid(int slot) { return slot >= 0 && slot < QLIN_SLOT_COUNT; }

// Index of the first published line whose name equals the first 4 characters of name.
int FindLine(const TSharedBlock& block, const char* name)
{
    if (name == nullptr || name[0] == '\0')
        return -1;
    const int32_t count = LineNameCount(block);
    for (int32_t index = 0; index < count; ++index) {
        if (std::strncmp(name, block.LineNames[index], QLIN_LINE_NAME_SIZE) == 0)
            return index;
    }
    return -1;
}

// QLIN_GetCommand's false: errno ETIMEDOUT tells the agent that the slot was not looked at and
// is worth another try; 0 that there is nothing to take.
bool NoCommand(int error)
{
    errno = error;
    return false;
}

bool AgentPresent(const Attachment& attachment)
{
    if (attachment.Block().Active == 0)
        return false;
    const uint64_t agent = attachment.Locks().AgentAttachment;
    return agent == 0 || attachment.Alive(agent);
}

bool SlotFree(const Attachment& attachment, int slot)
{
    if (attachment.Block().Slots[slot].InUse == 0)
        return true;
    return !attachment.Alive(attachment.Locks().SlotOwner[slot]);
}

}  // namespace
}  // namespace varno::qlin2

// The exported functions stay outside any namespace: their declarations in qlin2.h are C.
using namespace varno::qlin2;

extern "C" {

QLIN2_API void QLIN_Init(uint32_t window, uint32_t message)
{
    Attachment& attachment = Attachment::Process();
    BlockLock lock(attachment, LockWait::StartUp);
    if (lock.TimedOut())
        AgentBacklog::Process().KeepInit(window, message);
    if (!lock.Held())
        return;
    AgentBacklog::Process().CarryOut(attachment);
    StartAgent(attachment, window, message);
}

QLIN2_API void QLIN_DeInit(void)
{
    Attachment& attachment = Attachment::Process();
    BlockLock lock(attachment, LockWait::Briefly);
    if (lock.TimedOut())
        AgentBacklog::Process().DropInit();
    if (!lock.Held())
        return;
    AgentBacklog::Process().CarryOut(attachment);
    attachment.Block().Active = 0;
    attachment.Locks().AgentAttachment = 0;
}

QLIN2_API void QLIN_Line(int index, const char* name)
{
    if (index < 0 || index >= QLIN_MAX_LINES || name == nullptr)
        return;
    char stored[QLIN_LINE_NAME_SIZE] = {};
    for (int i = 0; i < QLIN_LINE_NAME_SIZE && name[i] != '\0'; ++i)
        stored[i] = name[i];

    Attachment& attachment = Attachment::Process();
    BlockLock lock(attachment, LockWait::Briefly);
    if (lock.TimedOut())
        AgentBacklog::Process().KeepLineName(index, stored);
    if (!lock.Held())
        return;
    AgentBacklog::Process().CarryOut(attachment);
    PublishLineName(attachment.Block(), index, stored);
}

QLIN2_API bool QLIN_PutStates(const TStates* record)
{
    if (record == nullptr)
        return false;
    const TStates stored = Terminated(*record);
    Attachment& attachment = Attachment::Process();
    BlockLock lock(attachment, LockWait::Briefly);
    if (lock.TimedOut())
        AgentBacklog::Process().KeepLostState(stored.Line);
    if (!lock.Held())
        return false;
    AgentBacklog::Process().CarryOut(attachment);
    for (TSlot& slot : attachment.Block().Slots) {
        if (SlotServes(slot) && slot.Line == stored.Line)
            WriteState(slot, stored);
    }
    return true;
}

QLIN2_API bool QLIN_GetCommand(int slot, TStates* record)
{
    if (!SlotNumberValid(slot) || record == nullptr)
        return NoCommand(0);
    Attachment& attachment = Attachment::Process();
    BlockLock lock(attachment, LockWait::Briefly);
    if (!lock.Held())
        return NoCommand(lock.TimedOut() ? ETIMEDOUT : 0);
    AgentBacklog::Process().CarryOut(attachment);
    TSlot& target = attachment.Block().Slots[slot];
    if (target.InUse == 0 || !PopCommand(target, *record))
        return NoCommand(0);
    return true;
}

QLIN2_API int QLIN_Open(const char* name, int capacity)
{
    Attachment& attachment = Attachment::Process();
    if (!attachment.Attached())
        return QLIN_ERR_NO_BLOCK;
    if (capacity < 1 || capacity > QLIN_MAX_CAPACITY)
        return QLIN_ERR_CAPACITY;
    BlockLock lock(attachment, LockWait::Always);
    if (!lock.Held())
        return QLIN_ERR_NO_BLOCK;
    if (!AgentPresent(attachment))
        return QLIN_ERR_AGENT_INACTIVE;
    const int line = FindLine(attachment.Block(), name);
    if (line < 0)
        return QLIN_ERR_NO_LINE;
    for (int slot = 0; slot < QLIN_SLOT_COUNT; ++slot) {
        if (!SlotFree(attachment, slot))
            continue;
        TSlot& target = attachment.Block().Slots[slot];
        ResetSlot(target, capacity, line);
        attachment.Locks().SlotOwner[slot] = attachment.Number();
        target.InUse = 1;
        return slot;
    }
    return QLIN_ERR_NO_SLOT;
}

QLIN2_API void QLIN_Close(int slot)
{
    if (!SlotNumberValid(slot))
        return;
    Attachment& attachment = Attachment::Process();
    BlockLock lock(attachment, LockWait::Always);
    if (!lock.Held())
        return;
    attachment.Block().Slots[slot].InUse = 0;
    attachment.Locks().SlotOwner[slot] = 0;
}

QLIN2_API int QLIN_PutCommand(int slot, TStates* command)
{
    if (!SlotNumberValid(slot) || command == nullptr)
        return 0;
    Attachment& attachment = Attachment::Process();
    BlockLock lock(attachment, LockWait::Always);
    if (!lock.Held())
        return 0;
    TSharedBlock& block = attachment.Block();
    TSlot& target = block.Slots[slot];
    if (target.InUse == 0)
        return 0;
    if (command->Line == -1)
        command->Line = target.Line;
    if (CommandQueueFull(target))
        return 0;
    // Announced before queued, both under the lock: the agent, woken by the datagram, waits for
    // the lock and then finds the command; a failed announcement leaves nothing queued.
    if (!NotifyAgent(attachment.SharedName(), block.AgentWindow, block.AgentMessage, target.Line, slot))
        return 0;
    PushCommand(target, Terminated(*command));
    return 1;
}

QLIN2_API int QLIN_GetStates(int slot, TStates* buffer)
{
    if (!SlotNumberValid(slot) || buffer == nullptr)
        return 0;
    Attachment& attachment = Attachment::Process();
    BlockLock lock(attachment, LockWait::Always);
    if (!lock.Held())
        return 0;
    TSlot& target = attachment.Block().Slots[slot];
    if (!SlotServes(target))
        return 0;
    return ReadStates(target, buffer);
}

QLIN2_API int QLIN_GetLines(char* buffer)
{
    Attachment& attachment = Attachment::Process();
    BlockLock lock(attachment, LockWait::Always);
    if (!lock.Held())
        return 0;
    const TSharedBlock& block = attachment.Block();
    const int32_t count = LineNameCount(block);
    if (buffer != nullptr)
        std::memcpy(buffer, block.LineNames, static_cast<size_t>(count) * QLIN_LINE_NAME_SIZE);
    return count;
}

QLIN2_API int QLIN_ShowWindow(uint32_t window, int command)
{
    Attachment& attachment = Attachment::Process();
    BlockLock lock(attachment, LockWait::Always);
    if (!lock.Held())
        return 0;
    const uint32_t target = window != 0 ? window : attachment.Block().AgentWindow;
    if (target == 0)
        return 0;
    return NotifyAgent(attachment.SharedName(), target, QLIN_SHOW_MESSAGE, command, 0) ? 1 : 0;
}

}  // extern "C"
