#pragma once
// The data-type vocabulary of the configuration file: the VT names written in `datatype`,
// their VARTYPE numbers, the display names the editor shows for the types it offers (in the
// order of its type list) and the size of one element in PLC memory.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "config/VarType.h"

namespace orva::config {

struct DataTypeName {
    std::string_view vtName;       // text of the `datatype` element, e.g. "VT_I2 ARRAY"
    VarType varType;               // VARTYPE the server gives the tag
    std::string_view displayName;  // the editor's name; empty when the editor does not offer it
};

// Every name of the vocabulary: the fifteen base names and each followed by " ARRAY".
std::span<const DataTypeName> dataTypeNames();

// The types the editor offers, in the order of its type list.
std::span<const DataTypeName> offeredDataTypes();

// Bits of one element in PLC memory (of a string: one character) for a type the editor offers;
// 0 for the others.
uint8_t elementBits(const DataTypeName& type);

// The offered type with this display name (exact, case-sensitive); null for any other text.
const DataTypeName* offeredDataType(std::string_view displayName);

// Exact, case-sensitive match on the whole text; anything else is VT_EMPTY.
VarType dataTypeFromName(std::string_view text);

// Editor conversions between display name and VT name; a value outside the table gives "".
std::string vtNameFromDisplayName(std::string_view displayName);
std::string displayNameFromVtName(std::string_view vtName);

}  // namespace orva::config
