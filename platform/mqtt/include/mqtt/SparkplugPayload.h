#pragma once
// Sparkplug B payloads (protobuf) as the edge node sends and receives them: metrics with
// Sparkplug data types, values of the gateway's native types (arrays as the packed little-endian
// array types), an optional "Quality" property carrying the OPC quality (192 Good).

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "opc/SOCmnVariant.h"

namespace orva::mqtt::sparkplug {

namespace datatype {
inline constexpr std::uint32_t Int8 = 1, Int16 = 2, Int32 = 3, Int64 = 4, UInt8 = 5, UInt16 = 6, UInt32 = 7,
                               UInt64 = 8, Float = 9, Double = 10, Boolean = 11, String = 12;
inline constexpr std::uint32_t Int8Array = 22, Int16Array = 23, Int32Array = 24, Int64Array = 25,
                               UInt8Array = 26, UInt16Array = 27, UInt32Array = 28, UInt64Array = 29,
                               FloatArray = 30, DoubleArray = 31, BooleanArray = 32, StringArray = 33;
}  // namespace datatype

// The Sparkplug data type of a native data type; 0 for types the gateway does not publish.
std::uint32_t dataTypeOf(VarType nativeType);

struct Metric {
    std::string name;  // empty: sent by alias only
    std::optional<std::uint64_t> alias;
    std::uint64_t timestamp = 0;
    std::uint32_t datatype = 0;
    bool historical = false;
    opc::SOCmnVariant value;                 // the value of a tag (null when empty)
    std::optional<std::uint64_t> longValue;  // Int64/UInt64 metrics of the node itself
    std::optional<std::int32_t> quality;     // the "Quality" property
};

std::string encodePayload(std::uint64_t timestamp, std::optional<std::uint64_t> seq,
                          const std::vector<Metric>& metrics);

// A metric of a received command. `value` is empty when the metric carried no value the gateway
// can write (a null, or a data type it does not know).
struct ReceivedMetric {
    std::string name;
    std::optional<std::uint64_t> alias;
    std::uint32_t datatype = 0;
    opc::SOCmnVariant value;
};

inline constexpr std::size_t kMaxCommandPayload = 1 << 20;
inline constexpr std::size_t kMaxCommandMetrics = 1000;

// Nothing when the bytes are not a Sparkplug payload (or exceed the limits above).
std::optional<std::vector<ReceivedMetric>> decodeCommand(std::string_view bytes);

}  // namespace orva::mqtt::sparkplug
