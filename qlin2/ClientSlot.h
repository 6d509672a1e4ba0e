// The ring of state records and the command queue of one client slot. Callers hold the block's
// lock. Every operation first checks the fields it relies on, since any process that maps the
// block can write them, so that no index ever reaches outside the slot.
#pragma once

#include "qlin2/SharedBlock.h"

namespace varno::qlin2 {

// A slot that is held and has a capacity its ring can serve.
bool SlotServes(const TSlot& slot);

// Prepares a slot for a new holder: empty ring, no commands.
void ResetSlot(TSlot& slot, int32_t capacity, int32_t line);

// Stores a state record; a full ring loses its oldest record and counts the loss in Overrun.
void WriteState(TSlot& slot, const TStates& record);

// Adds count records that never reached the slot to Overrun (up to 2^31 - 1) when the ring is
// full. A ring that is not full is left alone: there a non-zero Overrun would mean "full", and the
// next read would hand out old records again and the next write drop a waiting one.
void CountLostStates(TSlot& slot, int32_t count);

// Moves every waiting record, oldest first, into buffer (room for Capacity records).
int ReadStates(TSlot& slot, TStates* buffer);

bool CommandQueueFull(const TSlot& slot);
void PushCommand(TSlot& slot, const TStates& command);
// Takes the oldest command; false when none waits.
bool PopCommand(TSlot& slot, TStates& command);

// A copy of record whose text is certainly zero-terminated.
TStates Terminated(const TStates& record);

}  // namespace varno::qlin2
