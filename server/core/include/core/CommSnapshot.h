#pragma once
// A plain copy of the communication thread's PLCs, read blocks and covered tags with their
// cached values and qualities, for viewers on other threads (the communication-status dialog).
// It is taken under the lock that the thread holds while it changes blocks, so it is always
// consistent; afterwards it shares nothing with the live objects.

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

#include "config/VarType.h"

namespace orva::core {

// Unique while the object lives: PLCs and tags by their address (they live as long as the
// process), blocks by a serial number that is never given out twice.
using SnapshotObjectId = std::uint64_t;

// As much of a cached value as a viewer shows: arrays are not copied element by element.
using SnapshotValue = std::variant<std::monostate, bool, std::int64_t, std::uint64_t, double, std::u16string>;

struct TagSnapshot {
    SnapshotObjectId id = 0;
    std::string name;
    VarType type = VT_EMPTY;  // native data type
    std::uint16_t elements = 0;
    SnapshotValue value;
    std::uint16_t quality = 0;
};

struct BlockSnapshot {
    SnapshotObjectId id = 0;
    std::uint16_t dataBlock = 0;
    std::uint16_t startByte = 0;
    std::uint16_t length = 0;
    std::vector<TagSnapshot> tags;
};

struct PlcSnapshot {
    SnapshotObjectId id = 0;
    std::string name;
    std::vector<BlockSnapshot> blocks;  // in the PLC's block order
};

struct CommSnapshot {
    std::vector<PlcSnapshot> plcs;  // in configuration order
};

}  // namespace orva::core
