#pragma once
// The OPC UA status names by which MQTT consumers see qualities and write outcomes, the same
// codes the OPC UA endpoint gives for them.

#include <cstdint>
#include <string_view>

#include "opc/Types.h"

namespace orva::mqtt {

// "Good", "Uncertain", "BadOutOfService", "BadDeviceFailure", "BadCommunicationError", "Bad".
std::string_view qualityStatusName(std::uint16_t quality);

inline bool isGoodQuality(std::uint16_t quality)
{
    return (quality & 0xC0) == 0xC0;
}
inline bool isBadQuality(std::uint16_t quality)
{
    return (quality & 0xC0) == 0;
}

// The outcome of a write: "Good", or why not ("BadNotWritable", "BadTypeMismatch",
// "BadOutOfRange", "BadNodeIdUnknown", or the status of the quality it failed with).
std::string_view writeStatusName(opc::HRESULT result, std::uint16_t quality);

}  // namespace orva::mqtt
