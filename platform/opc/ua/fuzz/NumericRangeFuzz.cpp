// Feeds arbitrary text through the index-range parser as clients send it, then applies every range
// that parses to an array and to a string (with malformed UTF-8) as reads and writes do.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "opcua/NumericRange.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    orva::opcua::NumericRange range;
    if (orva::opcua::isBad(orva::opcua::parseNumericRange(text, range))) return 0;
    orva::opcua::Variant array = orva::opcua::Variant::arrayOf(
        orva::opcua::BuiltinType::Int32, {int64_t{1}, int64_t{2}, int64_t{3}, int64_t{4}});
    orva::opcua::applyRange(range, array);
    orva::opcua::Variant string = orva::opcua::Variant::string("Rez\xC3\xA4pt\xE2\x82");
    orva::opcua::applyRange(range, string);
    orva::opcua::checkRangedWrite(range, string);
    orva::opcua::checkRangedWrite(range, array);
    orva::opcua::characterCount(text);
    return 0;
}
