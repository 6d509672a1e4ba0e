#include "qlin2/ClientSlot.h"

#include <climits>
#include <cstring>

namespace qlin2 {
namespace {

bool capacityValid(int32_t capacity)
{
    return capacity >= 1 && capacity <= QLIN_MAX_CAPACITY;
}

// Indices that lie outside the ring (a holder died half-way, or a foreign writer) empty it.
void repairRing(TSlot &slot)
{
    const int32_t capacity = slot.Capacity;
    if (slot.ReadIndex < 0 || slot.ReadIndex >= capacity || slot.WriteIndex < 0 ||
        slot.WriteIndex >= capacity || slot.Overrun < 0) {
        slot.ReadIndex = 0;
        slot.WriteIndex = 0;
        slot.Overrun = 0;
    }
}

int32_t commandCount(const TSlot &slot)
{
    if (slot.CommandCount < 0)
        return 0;
    if (slot.CommandCount > QLIN_MAX_COMMANDS)
        return QLIN_MAX_COMMANDS;
    return slot.CommandCount;
}

} // namespace

bool slotServes(const TSlot &slot)
{
    return slot.InUse != 0 && capacityValid(slot.Capacity);
}

void resetSlot(TSlot &slot, int32_t capacity, int32_t line)
{
    slot.ReadIndex = 0;
    slot.WriteIndex = 0;
    slot.Overrun = 0;
    slot.Capacity = capacity;
    slot.Line = line;
    slot.CommandCount = 0;
}

void writeState(TSlot &slot, const TStates &record)
{
    repairRing(slot);
    const int32_t capacity = slot.Capacity;
    slot.States[slot.WriteIndex] = record;
    slot.WriteIndex = (slot.WriteIndex + 1) % capacity;
    if (slot.Overrun != 0) {
        slot.ReadIndex = (slot.ReadIndex + 1) % capacity;
        if (slot.Overrun < INT32_MAX)
            ++slot.Overrun;
    } else if (slot.WriteIndex == slot.ReadIndex) {
        slot.Overrun = 1;
    }
}

int readStates(TSlot &slot, TStates *buffer)
{
    repairRing(slot);
    const int32_t capacity = slot.Capacity;
    int count = 0;
    for (int32_t i = 0; i < capacity; ++i) {
        if (slot.ReadIndex == slot.WriteIndex && slot.Overrun == 0)
            break;
        buffer[count++] = slot.States[slot.ReadIndex];
        slot.ReadIndex = (slot.ReadIndex + 1) % capacity;
        slot.Overrun = 0;
    }
    return count;
}

bool commandQueueFull(const TSlot &slot)
{
    return commandCount(slot) >= QLIN_MAX_COMMANDS;
}

void pushCommand(TSlot &slot, const TStates &command)
{
    const int32_t count = commandCount(slot);
    if (count >= QLIN_MAX_COMMANDS)
        return;
    slot.Commands[count] = command;
    slot.CommandCount = count + 1;
}

bool popCommand(TSlot &slot, TStates &command)
{
    const int32_t count = commandCount(slot);
    if (count == 0) {
        slot.CommandCount = 0;
        return false;
    }
    command = slot.Commands[0];
    std::memmove(&slot.Commands[0], &slot.Commands[1], sizeof(TStates) * (count - 1));
    slot.CommandCount = count - 1;
    return true;
}

TStates terminated(const TStates &record)
{
    TStates copy = record;
    copy.Text[QLIN_TEXT_SIZE - 1] = '\0';
    return copy;
}

} // namespace qlin2
