// The ring of state records and the command queue of one client slot. Callers hold the block's
// lock. Every operation first checks the fields it relies on, since any process that maps the
// block can write them, so that no index ever reaches outside the slot.
#pragma once

#include "qlin2/SharedBlock.h"

namespace qlin2 {

// A slot that is held and has a capacity its ring can serve.
bool slotServes(const TSlot &slot);

// Prepares a slot for a new holder: empty ring, no commands.
void resetSlot(TSlot &slot, int32_t capacity, int32_t line);

// Stores a state record; a full ring loses its oldest record and counts the loss in Overrun.
void writeState(TSlot &slot, const TStates &record);

// Moves every waiting record, oldest first, into buffer (room for Capacity records).
int readStates(TSlot &slot, TStates *buffer);

bool commandQueueFull(const TSlot &slot);
void pushCommand(TSlot &slot, const TStates &command);
// Takes the oldest command; false when none waits.
bool popCommand(TSlot &slot, TStates &command);

// A copy of record whose text is certainly zero-terminated.
TStates terminated(const TStates &record);

} // namespace qlin2
