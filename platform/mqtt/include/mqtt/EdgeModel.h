#pragma once
// What the publisher knows of the server's address space and what it hands to a payload format:
// the PLCs (each a PLC branch of the address space) with their tags, and the updates of one PLC
// that one data change of the publishing group carries.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "opc/SOCmnVariant.h"
#include "opc/Types.h"

namespace orva::mqtt {

struct TagInfo {
    std::string itemId;   // "Line1.Drives.Speed"
    std::string localId;  // below the PLC: "Drives.Speed"
    std::size_t plc = 0;  // index into EdgeModel::plcs
    VarType type = 0;     // native data type
    std::uint32_t accessRights = 0;
    std::uint32_t handle = 0;  // item of the publishing group
};

struct PlcInfo {
    std::string name;       // the PLC branch's name
    std::string topicName;  // the name as one topic level ('/', '+', '#' replaced by '_')
    std::vector<std::size_t> tags;
};

struct EdgeModel {
    std::string serverName;  // "Tornel"
    std::vector<PlcInfo> plcs;
    std::vector<TagInfo> tags;  // in address-space order; the index is the Sparkplug alias
    std::unordered_map<std::string, std::size_t> tagByItemId;

    // The PLC whose topic level this is.
    std::optional<std::size_t> plcByTopic(std::string_view level) const;
};

struct TagSample {
    std::size_t tag = 0;
    opc::SOCmnVariant value;
    std::uint16_t quality = 0;
    opc::TimeStamp time{};
};

// The changed tags of one PLC in one data change, oldest first in the publisher's queue.
struct PlcUpdate {
    std::size_t plc = 0;
    opc::TimeStamp time{};
    std::vector<TagSample> samples;
    // After this update every tag of the PLC has a Bad quality: its connection is lost.
    bool plcLost = false;
    // The broker session's birth this update followed; an update from before the current birth is
    // history by the time it is sent.
    std::uint64_t birth = 0;
};

// The current value and quality of every tag (index as EdgeModel::tags).
struct TagState {
    opc::SOCmnVariant value;
    std::uint16_t quality = opc::OPC_QUALITY_UNCERTAIN;
    opc::TimeStamp time{};
};

// A topic level made of a name: separators and wildcards become '_'.
std::string topicLevel(std::string_view name);

std::uint64_t millisecondsSinceEpoch(opc::TimeStamp time);

}  // namespace orva::mqtt
