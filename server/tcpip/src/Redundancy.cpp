#include "tcpip/Redundancy.h"

#include <algorithm>

#include "core/ReadBlock.h"
#include "core/S7Tag.h"

namespace orva::tcpip {
namespace {

using core::CommunicationThread;
using core::S7Plc;

// The shortest update rate among the PLC's other blocks, at most the status rate limit. The
// status block itself does not count, so that its rate grows back when fast clients leave.
uint32_t statusRate(const S7Plc& plc)
{
    uint32_t rate = STATUS_RATE_LIMIT_MS;
    for (const auto& block : plc.blocks)
        if (block.get() != plc.redundancyBlock && block->updateRate != 0)
            rate = std::min(rate, block->updateRate);
    return rate;
}

void publishState(S7Plc& plc, int16_t state)
{
    if (!plc.serverStateTag) return;
    auto cache = plc.serverStateTag->getCache();
    if (!cache) return;
    opc::SOCmnVariant value;
    value.setI2(state);
    cache->set(value, opc::OPC_QUALITY_GOOD, nullptr, nullptr, opc::LOCALE_SYSTEM_DEFAULT);
}

// Stores the state's current value again, with quality GOOD (a fresh time stamp).
void republishState(S7Plc& plc)
{
    if (!plc.serverStateTag) return;
    auto cache = plc.serverStateTag->getCache();
    if (!cache) return;
    opc::SOCmnVariant value;
    if (!cache->getValue(value) || value.getType() != VT_I2)
        value.setI2(static_cast<int16_t>(plc.redundancySide));
    cache->set(value, opc::OPC_QUALITY_GOOD, nullptr, nullptr, opc::LOCALE_SYSTEM_DEFAULT);
}

class Step {
public:
    Step(CommunicationThread& thread, S7Plc& plc) : thread_(thread), plc_(plc) {}

    int select() { return thread_.selectSide(plc_, side()); }
    // The other side becomes the side in use and is selected.
    int switchSide()
    {
        plc_.redundancySide = 1 - side();
        return select();
    }
    uint16_t side() const { return static_cast<uint16_t>(plc_.redundancySide & 1); }

    bool hasStatusBlock() const { return plc_.redundancyBlock != nullptr; }
    bool statusDue()
    {
        const core::ReadBlock& block = *plc_.redundancyBlock;
        return thread_.ticks().now() - block.lastRead > block.updateRate;
    }
    void markStatusVisited() { plc_.redundancyBlock->visited = 1; }
    // Reads the status block: every tag of it gets its value or the error's quality.
    int readStatus() { return hasStatusBlock() ? thread_.readBlock(*plc_.redundancyBlock) : 0; }
    // The status bit as last read; a failed read leaves the last value.
    bool master() const { return cachedValue(plc_.redundancyStatusTag.get()) != 0; }

    bool commandAllowed() { return thread_.ticks().now() - plc_.lastCommandTick > COMMAND_PAUSE_MS; }
    // Sets the command bit in the command byte as last read and writes the byte.
    int command()
    {
        core::S7Tag* tag = plc_.redundancyCommandTag.get();
        if (tag == nullptr) return 0;
        const auto last = static_cast<uint8_t>(cachedValue(tag) & 0xFF);
        const uint8_t byte = static_cast<uint8_t>(last | (1u << (tag->dataBit & 7)));
        const int result = thread_.transport().writeBytes(tag->dataBlock, 1, tag->dataByte, &byte);
        if (++plc_.commandCounter >= COMMANDS_PER_BURST) {
            plc_.lastCommandTick = thread_.ticks().now();
            plc_.commandCounter = 0;
        }
        return result;
    }
    void publishSide() { publishState(plc_, static_cast<int16_t>(side())); }

private:
    static int64_t cachedValue(core::S7Tag* tag)
    {
        if (tag == nullptr) return 0;
        auto cache = tag->getCache();
        opc::SOCmnVariant value;
        if (!cache || !cache->getValue(value)) return 0;
        return value.toInt64();
    }

    CommunicationThread& thread_;
    S7Plc& plc_;
};

}  // namespace

int RedundancySupervision::supervise(CommunicationThread& thread, S7Plc& plc, bool fromScheduler)
{
    // Nothing is polled: the scheduler leaves the PLC alone.
    if (fromScheduler && plc.blocks.empty()) return 0;
    Step step(thread, plc);
    int error = step.select();
    if (!plc.isRedundant()) return error;

    if (error == 0) {
        if (!step.hasStatusBlock()) return 0;
        if (!step.statusDue()) {
            step.markStatusVisited();
            return 0;
        }
        error = step.readStatus();
        if (step.master()) {
            step.publishSide();
            return error;
        }
        // Not master: try the other side.
        if (step.switchSide() != 0) {
            if (const int back = step.switchSide(); back != 0) return back;
            if (!step.commandAllowed()) return 0;
            error = step.command();
            republishState(plc);
            return error;
        }
        error = step.readStatus();
        if (!step.master() && step.commandAllowed()) error = step.command();
        step.publishSide();
        return error;
    }

    // The side in use cannot be selected.
    if (const int other = step.switchSide(); other != 0) {
        publishState(plc, STATE_NO_SIDE);
        return other;
    }
    if (!step.hasStatusBlock()) {
        step.publishSide();
        return 0;
    }
    error = step.readStatus();
    if (step.master()) {
        step.publishSide();
        return error;
    }
    if (step.commandAllowed()) error = step.command();
    // The state always names the side in use, also while commands pause.
    step.publishSide();
    return error;
}

void RedundancySupervision::upkeep(CommunicationThread& thread, S7Plc& plc)
{
    core::S7Tag* status = plc.redundancyStatusTag.get();
    core::S7Tag* command = plc.redundancyCommandTag.get();
    if (status == nullptr || command == nullptr) return;

    if (plc.redundancyBlock == nullptr) {
        const uint32_t rate = statusRate(plc);
        thread.registerTag(plc, *status, rate);
        thread.registerTag(plc, *command, rate);
        plc.redundancyBlock = status->inBlock == 1 ? status->block : nullptr;
        return;
    }
    // Only the status and command bits are polled: nobody needs them now.
    const bool onlyStatus = plc.blocks.size() == 1 && plc.blocks.front().get() == plc.redundancyBlock &&
                            plc.redundancyBlock->tags.size() == 2 &&
                            plc.redundancyBlock->tags.count(status) == 1 &&
                            plc.redundancyBlock->tags.count(command) == 1;
    if (onlyStatus) {
        thread.takeOutOfBlock(plc, *status);
        thread.takeOutOfBlock(plc, *command);
        plc.redundancyBlock = nullptr;
        return;
    }
    plc.redundancyBlock->updateRate = statusRate(plc);
}

}  // namespace orva::tcpip
