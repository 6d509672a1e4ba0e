#include "qlin2/ClientSlot.h"

#include <climits>
#include <cstring>

namespace varno::qlin2 {
namespace {

bool CapacityValid(int32_t capacity) { return capacity >= 1 && capacity <= QLIN_MAX_CAPACITY; }

// Indices that lie outside the ring (a holder died half-way, or a foreign writer) empty it.
void RepairRing(TSlot& slot)
{
    const int32_t capacity = slot.Capacity;
    if (slot.ReadIndex < 0 || slot.ReadIndex >= capacity || slot.WriteIndex < 0 || slot.WriteIndex >= capacity ||
        slot.Overrun < 0) {
        slot.ReadIndex = 0;
        slot.WriteIndex = 0;
        slot.Overrun = 0;
    }
}

int32_t ValidCommandCount(const TSlot& slot)
{
    if (slot.CommandCount < 0)
        return 0;
    if (slot.CommandCount > QLIN_MAX_COMMANDS)
        return QLIN_MAX_COMMANDS;
    return slot.CommandCount;
}

}  // namespace

bool SlotServes(const TSlot& slot) { return slot.InUse != 0 && CapacityValid(slot.Capacity); }

void ResetSlot(TSlot& slot, int32_t capacity, int32_t line)
{
    slot.ReadIndex = 0;
    slot.WriteIndex = 0;
    slot.Overrun = 0;
    slot.Capacity = capacity;
    slot.Line = line;
    slot.CommandCount = 0;
}

void WriteState(TSlot& slot, const TStates& record)
{
    RepairRing(slot);
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

void CountLostStates(TSlot& slot, int32_t count)
{
    if (slot.Overrun <= 0 || count <= 0)
        return;
    slot.Overrun = slot.Overrun > INT32_MAX - count ? INT32_MAX : slot.Overrun + count;
}

int ReadStates(TSlot& slot, TStates* buffer)
{
    RepairRing(slot);
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

bool CommandQueueFull(const TSlot& slot) { return ValidCommandCount(slot) >= QLIN_MAX_COMMANDS; }

void PushCommand(TSlot& slot, const TStates& command)
{
    const int32_t count = ValidCommandCount(slot);
    if (count >= QLIN_MAX_COMMANDS)
        return;
    slot.Commands[count] = command;
    slot.CommandCount = count + 1;
}

bool PopCommand(TSlot& slot, TStates& command)
{
    const int32_t count = ValidCommandCount(slot);
    if (count == 0) {
        slot.CommandCount = 0;
        return false;
    }
    command = slot.Commands[0];
    std::memmove(&slot.Commands[0], &slot.Commands[1], sizeof(TStates) * (count - 1));
    slot.CommandCount = count - 1;
    return true;
}

TStates Terminated(const TStates& record)
{
    TStates copy = record;
    copy.Text[QLIN_TEXT_SIZE - 1] = '\0';
    return copy;
}

}  // namespace varno::qlin2
