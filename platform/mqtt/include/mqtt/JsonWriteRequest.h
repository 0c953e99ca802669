#pragma once
// Decodes the payload of a write topic, a JSON object of item IDs and values:
//   {"Drives.Speed": 1200, "PROCESS.Recipe": "Bread", "PROCESS.Setpoints": [1, 2, 3]}
// Numbers, booleans, strings and arrays of them become toolkit values that the toolkit then
// converts to each tag's native type (with its range checks). Whatever else a value is (null, an
// object, a nested or mixed array) is kept as a value of no type, which the write refuses.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "opc/SOCmnVariant.h"

namespace orva::mqtt {

inline constexpr std::size_t kMaxWritePayload = 1 << 20;  // bytes
inline constexpr std::size_t kMaxWriteItems = 1000;       // items of one write message
inline constexpr std::size_t kMaxArrayElements = 65536;

struct WriteEntry {
    std::string itemId;
    opc::SOCmnVariant value;  // empty: not a value the gateway can write
};

struct JsonWriteRequest {
    std::vector<WriteEntry> entries;  // in message order
    std::string error;                // why the payload was refused; empty when decoded
};

// Never throws on bad input: a payload that is not such an object (or is too large, too deep,
// holds too many items) gives an error and no entries.
JsonWriteRequest decodeJsonWriteRequest(std::string_view payload);

}  // namespace orva::mqtt
