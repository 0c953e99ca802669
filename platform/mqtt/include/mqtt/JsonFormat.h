#pragma once
// The plain JSON payloads: an update of a PLC,
//   {"timestamp": 1765000000000, "values": {"Drives.Speed": 1200, ...}, "quality": {"Drives.Speed":
//   "BadCommunicationError"}}
// with "quality" naming only the tags that are not Good, and the result of a write,
//   {"Drives.Speed": "Good", "Mode": "BadNotWritable"}.

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "mqtt/EdgeModel.h"

namespace orva::mqtt {

// `text` as a JSON string literal; bytes that are not UTF-8 become U+FFFD.
void appendJsonString(std::string& out, std::string_view text);
// Booleans, numbers (null for NaN and infinities), strings, arrays as JSON arrays; empty is null.
void appendJsonValue(std::string& out, const opc::SOCmnVariant& value);

std::string encodeJsonUpdate(const EdgeModel& model, const PlcUpdate& update);

std::string encodeJsonWriteResult(const std::vector<std::pair<std::string, std::string_view>>& results);

}  // namespace orva::mqtt
