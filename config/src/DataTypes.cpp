#include "config/DataTypes.h"

#include <array>

namespace orva::config {
namespace {

constexpr std::array<DataTypeName, 30> kNames{{
    {"VT_BOOL", VT_BOOL, "boolean", 1},
    {"VT_UI1", VT_UI1, "unsigned 8 bit", 8},
    {"VT_UI2", VT_UI2, "unsigned 16 bit", 16},
    {"VT_UI4", VT_UI4, "unsigned 32 bit", 32},
    {"VT_I1", VT_I1, "signed 8 bit", 8},
    {"VT_I2", VT_I2, "signed 16 bit", 16},
    {"VT_I4", VT_I4, "signed 32 bit", 32},
    {"VT_R4", VT_R4, "32 bit float", 32},
    {"VT_BOOL ARRAY", VT_ARRAY | VT_BOOL, "boolean array", 1},
    {"VT_UI1 ARRAY", VT_ARRAY | VT_UI1, "unsigned 8 bit array", 8},
    {"VT_UI2 ARRAY", VT_ARRAY | VT_UI2, "unsigned 16 bit array", 16},
    {"VT_UI4 ARRAY", VT_ARRAY | VT_UI4, "unsigned 32 bit array", 32},
    {"VT_I1 ARRAY", VT_ARRAY | VT_I1, "signed 8 bit array", 8},
    {"VT_I2 ARRAY", VT_ARRAY | VT_I2, "signed 16 bit array", 16},
    {"VT_I4 ARRAY", VT_ARRAY | VT_I4, "signed 32 bit array", 32},
    {"VT_R4 ARRAY", VT_ARRAY | VT_R4, "32 bit float array", 32},
    {"VT_BSTR", VT_BSTR, "string", 8},
    // Accepted by the servers, never offered by the editor.
    {"VT_INT", VT_INT, "", 0},
    {"VT_UINT", VT_UINT, "", 0},
    {"VT_R8", VT_R8, "", 0},
    {"VT_DATE", VT_DATE, "", 0},
    {"VT_DECIMAL", VT_DECIMAL, "", 0},
    {"VT_CY", VT_CY, "", 0},
    {"VT_BSTR ARRAY", VT_ARRAY | VT_BSTR, "", 0},
    {"VT_INT ARRAY", VT_ARRAY | VT_INT, "", 0},
    {"VT_UINT ARRAY", VT_ARRAY | VT_UINT, "", 0},
    {"VT_R8 ARRAY", VT_ARRAY | VT_R8, "", 0},
    {"VT_DATE ARRAY", VT_ARRAY | VT_DATE, "", 0},
    {"VT_DECIMAL ARRAY", VT_ARRAY | VT_DECIMAL, "", 0},
    {"VT_CY ARRAY", VT_ARRAY | VT_CY, "", 0},
}};

constexpr std::size_t kOfferedCount = 17;

}  // namespace

std::span<const DataTypeName> dataTypeNames()
{
    return kNames;
}

std::span<const DataTypeName> offeredDataTypes()
{
    return std::span(kNames).first(kOfferedCount);
}

VarType dataTypeFromName(std::string_view text)
{
    for (const auto& entry : kNames)
        if (entry.vtName == text) return entry.varType;
    return VT_EMPTY;
}

const DataTypeName* offeredDataType(std::string_view displayName)
{
    for (const auto& entry : offeredDataTypes())
        if (entry.displayName == displayName) return &entry;
    return nullptr;
}

std::string vtNameFromDisplayName(std::string_view displayName)
{
    const DataTypeName* type = offeredDataType(displayName);
    return type == nullptr ? std::string() : std::string(type->vtName);
}

std::string displayNameFromVtName(std::string_view vtName)
{
    for (const auto& entry : offeredDataTypes())
        if (entry.vtName == vtName) return std::string(entry.displayName);
    return {};
}

}  // namespace orva::config
