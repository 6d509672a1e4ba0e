// The layout of the shared block, exactly as every process that loads the library sees it.
#pragma once

#include "qlin2/qlin2.h"

#include <bit>
#include <cstddef>
#include <cstdint>

namespace varno::qlin2 {

static_assert(std::endian::native == std::endian::little,
              "the shared block and the notification datagrams hold little-endian integers");

// One client slot: a ring of state records for one line and a queue of commands.
struct TSlot {
    int32_t ReadIndex;
    int32_t WriteIndex;
    int32_t Overrun;
    uint8_t InUse;
    uint8_t Reserved[3];
    int32_t Capacity;
    int32_t Line;
    int32_t CommandCount;
    TStates States[QLIN_MAX_CAPACITY];
    TStates Commands[QLIN_MAX_COMMANDS];
};

struct TSharedBlock {
    uint8_t Active;
    uint8_t Reserved[3];
    uint32_t AgentWindow;
    uint32_t AgentMessage;
    TSlot Slots[QLIN_SLOT_COUNT];
    char LineNames[QLIN_MAX_LINES][QLIN_LINE_NAME_SIZE];
    int32_t LineNameCount;
};

static_assert(sizeof(TStates) == 40);
static_assert(offsetof(TStates, Line) == 0);
static_assert(offsetof(TStates, State) == 4);
static_assert(offsetof(TStates, Text) == 8);

static_assert(sizeof(TSlot) == 1348);
static_assert(offsetof(TSlot, ReadIndex) == 0);
static_assert(offsetof(TSlot, WriteIndex) == 4);
static_assert(offsetof(TSlot, Overrun) == 8);
static_assert(offsetof(TSlot, InUse) == 12);
static_assert(offsetof(TSlot, Capacity) == 16);
static_assert(offsetof(TSlot, Line) == 20);
static_assert(offsetof(TSlot, CommandCount) == 24);
static_assert(offsetof(TSlot, States) == 28);
static_assert(offsetof(TSlot, Commands) == 1228);

static_assert(sizeof(TSharedBlock) == QLIN_BLOCK_SIZE);
static_assert(offsetof(TSharedBlock, Active) == 0);
static_assert(offsetof(TSharedBlock, AgentWindow) == 4);
static_assert(offsetof(TSharedBlock, AgentMessage) == 8);
static_assert(offsetof(TSharedBlock, Slots) == 12);
static_assert(offsetof(TSharedBlock, LineNames) == 6752);
static_assert(offsetof(TSharedBlock, LineNameCount) == 6976);

}  // namespace varno::qlin2
