#pragma once
// A copy of what the communication-status dialog shows: the PLCs, the read blocks of each and the
// tags each block covers with their cached value and quality. Whoever owns the live objects
// copies them under its lock; the dialog never reads the communication thread's data.

#include <cstdint>
#include <functional>
#include <string>
#include <variant>
#include <vector>

#include "config/VarType.h"

namespace orva::process {

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

struct StatusSnapshot {
    std::vector<PlcSnapshot> plcs;  // in configuration order
    std::string brokerLink;         // the MQTT broker link's state; empty without MQTT

    const PlcSnapshot* findPlc(ObjectId id) const;
    const BlockSnapshot* findBlock(ObjectId plc, ObjectId block) const;
};

using StatusSnapshotProvider = std::function<StatusSnapshot()>;

// "DB%d-DBB%d-LEN%d".
std::string blockLabel(const BlockSnapshot& block);

// The "Value" column's text by native type; strings are bytes of ISO-8859-1.
std::string valueDisplayText(const TagSnapshot& tag);

// The "Quality" column's text of an OPC quality, e.g. "GOOD", "BAD (COMM_FAILURE)".
std::string qualityText(std::uint16_t quality);
using QualityTextFunction = std::function<std::string(std::uint16_t quality)>;

}  // namespace orva::process
