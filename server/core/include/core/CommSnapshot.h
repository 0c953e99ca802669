#pragma once
// What the communication thread shows of itself to viewers on other threads (the
// communication-status dialog): a plain copy of the PLCs, their read blocks and the covered tags
// with cached value and quality. The thread takes it under the lock it holds while it changes
// blocks, so it is always consistent; afterwards it shares nothing with the live objects.

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

#include "config/VarType.h"

namespace orva::core {

// Identifies a PLC, block or tag across snapshots. Unique while the object lives; an id must not
// be given to a new object while the dialog may still show the old one (a serial number is
// safest, the object's address will do for objects that live as long as the process).
using ObjectId = std::uint64_t;

// A cached value, as much of it as the dialog shows: arrays are never shown element by element.
using SnapshotValue = std::variant<std::monostate, bool, std::int64_t, std::uint64_t, double, std::u16string>;

struct TagSnapshot {
    ObjectId id = 0;
    std::string name;
    VarType type = VT_EMPTY;  // the tag's native data type
    std::uint16_t elements = 0;
    SnapshotValue value;
    std::uint16_t quality = 0;
};

struct BlockSnapshot {
    ObjectId id = 0;
    std::uint16_t dataBlock = 0;
    std::uint16_t startByte = 0;
    std::uint16_t length = 0;
    std::vector<TagSnapshot> tags;  // the tags the block covers
};

struct PlcSnapshot {
    ObjectId id = 0;
    std::string name;
    std::vector<BlockSnapshot> blocks;  // in the PLC's block order
};

struct CommSnapshot {
    std::vector<PlcSnapshot> plcs;  // in configuration order
    std::string brokerLink;         // the MQTT broker link's state; empty without MQTT

    const PlcSnapshot* findPlc(ObjectId id) const
    {
        for (const auto& plc : plcs)
            if (plc.id == id) return &plc;
        return nullptr;
    }
    const BlockSnapshot* findBlock(ObjectId plcId, ObjectId blockId) const
    {
        const PlcSnapshot* plc = findPlc(plcId);
        if (plc == nullptr) return nullptr;
        for (const auto& block : plc->blocks)
            if (block.id == blockId) return &block;
        return nullptr;
    }
};

}  // namespace orva::core
