// The eleven functions of the library. Each one holds the block's lock while it works on the
// block; none of them waits for anything else.
#include "qlin2/qlin2.h"

#include "qlin2/AgentEndpoint.h"
#include "qlin2/Attachment.h"
#include "qlin2/ClientSlot.h"

#include <cstring>

using qlin2::Attachment;
using qlin2::BlockLock;
using qlin2::TSharedBlock;
using qlin2::TSlot;

namespace {

bool slotNumberValid(int slot)
{
    return slot >= 0 && slot < QLIN_SLOT_COUNT;
}

int32_t lineNameCount(const TSharedBlock &block)
{
    const int32_t count = block.LineNameCount;
    if (count < 0)
        return 0;
    return count > QLIN_MAX_LINES ? QLIN_MAX_LINES : count;
}

// Index of the first published line whose name equals the first 4 characters of name.
int findLine(const TSharedBlock &block, const char *name)
{
    if (name == nullptr || name[0] == '\0')
        return -1;
    const int32_t count = lineNameCount(block);
    for (int32_t index = 0; index < count; ++index) {
        if (std::strncmp(name, block.LineNames[index], QLIN_LINE_NAME_SIZE) == 0)
            return index;
    }
    return -1;
}

bool agentPresent(const Attachment &attachment)
{
    if (attachment.block().Active == 0)
        return false;
    const uint64_t agent = attachment.lockArea().AgentAttachment;
    return agent == 0 || attachment.alive(agent);
}

bool slotFree(const Attachment &attachment, int slot)
{
    if (attachment.block().Slots[slot].InUse == 0)
        return true;
    return !attachment.alive(attachment.lockArea().SlotOwner[slot]);
}

} // namespace

extern "C" {

QLIN2_API void QLIN_Init(uint32_t window, uint32_t message)
{
    Attachment &attachment = Attachment::process();
    BlockLock lock(attachment);
    if (!lock.held())
        return;
    TSharedBlock &block = attachment.block();
    block.Active = 1;
    block.AgentWindow = window;
    block.AgentMessage = message;
    block.LineNameCount = 0;
    attachment.lockArea().AgentAttachment = attachment.number();
}

QLIN2_API void QLIN_DeInit(void)
{
    Attachment &attachment = Attachment::process();
    BlockLock lock(attachment);
    if (!lock.held())
        return;
    attachment.block().Active = 0;
    attachment.lockArea().AgentAttachment = 0;
}

QLIN2_API void QLIN_Line(int index, const char *name)
{
    if (index < 0 || index >= QLIN_MAX_LINES || name == nullptr)
        return;
    char stored[QLIN_LINE_NAME_SIZE] = {};
    for (int i = 0; i < QLIN_LINE_NAME_SIZE && name[i] != '\0'; ++i)
        stored[i] = name[i];

    Attachment &attachment = Attachment::process();
    BlockLock lock(attachment);
    if (!lock.held())
        return;
    TSharedBlock &block = attachment.block();
    std::memcpy(block.LineNames[index], stored, QLIN_LINE_NAME_SIZE);
    if (index + 1 > lineNameCount(block))
        block.LineNameCount = index + 1;
}

QLIN2_API bool QLIN_PutStates(const TStates *record)
{
    if (record == nullptr)
        return false;
    const TStates stored = qlin2::terminated(*record);
    Attachment &attachment = Attachment::process();
    BlockLock lock(attachment);
    if (!lock.held())
        return false;
    for (TSlot &slot : attachment.block().Slots) {
        if (qlin2::slotServes(slot) && slot.Line == stored.Line)
            qlin2::writeState(slot, stored);
    }
    return true;
}

QLIN2_API bool QLIN_GetCommand(int slot, TStates *record)
{
    if (!slotNumberValid(slot) || record == nullptr)
        return false;
    Attachment &attachment = Attachment::process();
    BlockLock lock(attachment);
    if (!lock.held())
        return false;
    TSlot &target = attachment.block().Slots[slot];
    if (target.InUse == 0)
        return false;
    return qlin2::popCommand(target, *record);
}

QLIN2_API int QLIN_Open(const char *name, int capacity)
{
    Attachment &attachment = Attachment::process();
    if (!attachment.attached())
        return QLIN_ERR_NO_BLOCK;
    if (capacity < 1 || capacity > QLIN_MAX_CAPACITY)
        return QLIN_ERR_CAPACITY;
    BlockLock lock(attachment);
    if (!lock.held())
        return QLIN_ERR_NO_BLOCK;
    if (!agentPresent(attachment))
        return QLIN_ERR_AGENT_INACTIVE;
    const int line = findLine(attachment.block(), name);
    if (line < 0)
        return QLIN_ERR_NO_LINE;
    for (int slot = 0; slot < QLIN_SLOT_COUNT; ++slot) {
        if (!slotFree(attachment, slot))
            continue;
        TSlot &target = attachment.block().Slots[slot];
        qlin2::resetSlot(target, capacity, line);
        attachment.lockArea().SlotOwner[slot] = attachment.number();
        target.InUse = 1;
        return slot;
    }
    return QLIN_ERR_NO_SLOT;
}

QLIN2_API void QLIN_Close(int slot)
{
    if (!slotNumberValid(slot))
        return;
    Attachment &attachment = Attachment::process();
    BlockLock lock(attachment);
    if (!lock.held())
        return;
    attachment.block().Slots[slot].InUse = 0;
    attachment.lockArea().SlotOwner[slot] = 0;
}

QLIN2_API int QLIN_PutCommand(int slot, TStates *command)
{
    if (!slotNumberValid(slot) || command == nullptr)
        return 0;
    Attachment &attachment = Attachment::process();
    BlockLock lock(attachment);
    if (!lock.held())
        return 0;
    TSharedBlock &block = attachment.block();
    TSlot &target = block.Slots[slot];
    if (target.InUse == 0)
        return 0;
    if (command->Line == -1)
        command->Line = target.Line;
    if (qlin2::commandQueueFull(target))
        return 0;
    // Announced before queued, both under the lock: the agent, woken by the datagram, waits for
    // the lock and then finds the command; a failed announcement leaves nothing queued.
    if (!qlin2::notifyAgent(attachment.sharedName(), block.AgentWindow, block.AgentMessage,
                            target.Line, slot))
        return 0;
    qlin2::pushCommand(target, qlin2::terminated(*command));
    return 1;
}

QLIN2_API int QLIN_GetStates(int slot, TStates *buffer)
{
    if (!slotNumberValid(slot) || buffer == nullptr)
        return 0;
    Attachment &attachment = Attachment::process();
    BlockLock lock(attachment);
    if (!lock.held())
        return 0;
    TSlot &target = attachment.block().Slots[slot];
    if (!qlin2::slotServes(target))
        return 0;
    return qlin2::readStates(target, buffer);
}

QLIN2_API int QLIN_GetLines(char *buffer)
{
    Attachment &attachment = Attachment::process();
    BlockLock lock(attachment);
    if (!lock.held())
        return 0;
    const TSharedBlock &block = attachment.block();
    const int32_t count = lineNameCount(block);
    if (buffer != nullptr)
        std::memcpy(buffer, block.LineNames, static_cast<size_t>(count) * QLIN_LINE_NAME_SIZE);
    return count;
}

QLIN2_API int QLIN_ShowWindow(uint32_t window, int command)
{
    Attachment &attachment = Attachment::process();
    BlockLock lock(attachment);
    if (!lock.held())
        return 0;
    const uint32_t target = window != 0 ? window : attachment.block().AgentWindow;
    if (target == 0)
        return 0;
    return qlin2::notifyAgent(attachment.sharedName(), target, QLIN_SHOW_MESSAGE, command, 0) ? 1
                                                                                              : 0;
}

} // extern "C"
