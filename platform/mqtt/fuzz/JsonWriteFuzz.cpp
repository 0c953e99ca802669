// Feeds arbitrary bytes to the decoder of write-topic payloads.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "mqtt/JsonWriteRequest.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const auto request =
        orva::mqtt::decodeJsonWriteRequest(std::string_view(reinterpret_cast<const char*>(data), size));
    if (!request.error.empty() && !request.entries.empty()) __builtin_trap();
    return 0;
}
