#include "qlin2/AgentBacklog.h"

#include "qlin2/ClientSlot.h"

#include <cstring>

namespace varno::qlin2 {
namespace {

static_assert(QLIN_MAX_LINES <= 64, "one bit per line in a 64-bit mask");

uint64_t LineBit(int index) { return uint64_t{1} << index; }

void StoreLineName(TSharedBlock& block, int index, const char (&name)[QLIN_LINE_NAME_SIZE])
{
    std::memcpy(block.LineNames[index], name, QLIN_LINE_NAME_SIZE);
}

void CountLineName(TSharedBlock& block, int index)
{
    if (index + 1 > LineNameCount(block))
        block.LineNameCount = index + 1;
}

}  // namespace

int32_t LineNameCount(const TSharedBlock& block)
{
    const int32_t count = block.LineNameCount;
    if (count < 0)
        return 0;
    return count > QLIN_MAX_LINES ? QLIN_MAX_LINES : count;
}

void StartAgent(Attachment& attachment, uint32_t window, uint32_t message)
{
    TSharedBlock& block = attachment.Block();
    block.Active = 1;
    block.AgentWindow = window;
    block.AgentMessage = message;
    block.LineNameCount = 0;
    attachment.Locks().AgentAttachment = attachment.Number();
}

void PublishLineName(TSharedBlock& block, int index, const char (&name)[QLIN_LINE_NAME_SIZE])
{
    StoreLineName(block, index, name);
    CountLineName(block, index);
}

AgentBacklog& AgentBacklog::Process()
{
    static AgentBacklog backlog;
    return backlog;
}

void AgentBacklog::KeepInit(uint32_t window, uint32_t message)
{
    const std::lock_guard<std::mutex> guard(mutex_);
    initKept_ = true;
    window_ = window;
    message_ = message;
    // QLIN_Init forgets the names published before it; their bytes stay.
    namesCounted_ = 0;
    waiting_.store(true, std::memory_order_release);
}

void AgentBacklog::DropInit()
{
    const std::lock_guard<std::mutex> guard(mutex_);
    if (!initKept_)
        return;
    initKept_ = false;
    // Without the QLIN_Init nothing forgets the names kept before it.
    namesCounted_ = namesKept_;
}

void AgentBacklog::KeepLineName(int index, const char (&name)[QLIN_LINE_NAME_SIZE])
{
    if (index < 0 || index >= QLIN_MAX_LINES)
        return;
    const std::lock_guard<std::mutex> guard(mutex_);
    std::memcpy(names_[index], name, QLIN_LINE_NAME_SIZE);
    namesKept_ |= LineBit(index);
    namesCounted_ |= LineBit(index);
    waiting_.store(true, std::memory_order_release);
}

void AgentBacklog::KeepLostState(int32_t line)
{
    // No slot can follow a line outside the table.
    if (line < 0 || line >= QLIN_MAX_LINES)
        return;
    const std::lock_guard<std::mutex> guard(mutex_);
    if (lostStates_[line] < INT32_MAX)
        ++lostStates_[line];
    waiting_.store(true, std::memory_order_release);
}

void AgentBacklog::CarryOut(Attachment& attachment)
{
    if (!waiting_.load(std::memory_order_acquire))
        return;
    const std::lock_guard<std::mutex> guard(mutex_);
    TSharedBlock& block = attachment.Block();
    // Names kept before a kept QLIN_Init are stored but not counted: the QLIN_Init after them
    // sets LineNameCount to 0, and raising it again is the business of the names kept after it.
    for (int index = 0; index < QLIN_MAX_LINES; ++index) {
        if ((namesKept_ & LineBit(index)) != 0)
            StoreLineName(block, index, names_[index]);
    }
    if (initKept_)
        StartAgent(attachment, window_, message_);
    for (int index = 0; index < QLIN_MAX_LINES; ++index) {
        if ((namesCounted_ & LineBit(index)) != 0)
            CountLineName(block, index);
    }
    for (int32_t line = 0; line < QLIN_MAX_LINES; ++line) {
        if (lostStates_[line] == 0)
            continue;
        for (TSlot& slot : block.Slots) {
            if (SlotServes(slot) && slot.Line == line)
                CountLostStates(slot, lostStates_[line]);
        }
    }
    initKept_ = false;
    namesKept_ = 0;
    namesCounted_ = 0;
    std::memset(lostStates_, 0, sizeof lostStates_);
    waiting_.store(false, std::memory_order_release);
}

}  // namespace varno::qlin2
