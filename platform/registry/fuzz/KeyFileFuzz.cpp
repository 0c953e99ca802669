// Any bytes as a key file: the parser must reject or accept them without crashing, and what it
// accepts must come back unchanged through the writer.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "registry/KeyFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto parsed = orva::registry::parseKeyFile(text);
    if (!parsed) return 0;
    const auto again = orva::registry::parseKeyFile(orva::registry::serializeKeyFile(*parsed));
    if (!again || again->keyPath != parsed->keyPath || again->values.size() != parsed->values.size())
        std::abort();
    for (std::size_t i = 0; i < parsed->values.size(); ++i)
        if (again->values[i].name != parsed->values[i].name ||
            again->values[i].data != parsed->values[i].data)
            std::abort();
    return 0;
}
