#include "opcua/Types.h"

#include <cstdio>

namespace orva::opcua {

namespace {
// Seconds from 1601-01-01 to 1970-01-01.
constexpr int64_t kEpochDifferenceSeconds = 11644473600LL;
}  // namespace

DateTime toDateTime(std::chrono::system_clock::time_point t)
{
    const auto since1970 = std::chrono::duration_cast<std::chrono::nanoseconds>(t.time_since_epoch()).count();
    return since1970 / 100 + kEpochDifferenceSeconds * 10'000'000LL;
}

DateTime now()
{
    return toDateTime(std::chrono::system_clock::now());
}

std::string NodeId::toString() const
{
    std::string out = ns != 0 ? "ns=" + std::to_string(ns) + ";" : std::string{};
    switch (kind) {
        case Kind::Numeric:
            return out + "i=" + std::to_string(numeric);
        case Kind::String:
            return out + "s=" + text;
        case Kind::Guid: {
            char buf[48];
            std::snprintf(buf, sizeof buf, "g=%08x-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x", guid.data1,
                          guid.data2, guid.data3, guid.data4[0], guid.data4[1], guid.data4[2], guid.data4[3],
                          guid.data4[4], guid.data4[5], guid.data4[6], guid.data4[7]);
            return out + buf;
        }
        case Kind::Opaque:
            return out + "b=(" + std::to_string(text.size()) + " bytes)";
    }
    return out;
}

}  // namespace orva::opcua
