// Feeds arbitrary bytes to the decoder of Sparkplug B command payloads (NCMD, DCMD).
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "mqtt/SparkplugPayload.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const auto metrics =
        orva::mqtt::sparkplug::decodeCommand(std::string_view(reinterpret_cast<const char*>(data), size));
    if (metrics && metrics->size() > orva::mqtt::sparkplug::kMaxCommandMetrics) __builtin_trap();
    return 0;
}
