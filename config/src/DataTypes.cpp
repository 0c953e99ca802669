#include "config/DataTypes.h"

#include <array>

namespace orva::config {
namespace {

constexpr std::array<DataTypeName, 30> kNames{{
    {"VT_BOOL", VT_BOOL, "boolean"},
    {"VT_UI1", VT_UI1, "unsigned 8 bit"},
    {"VT_UI2", VT_UI2, "unsigned 16 bit"},
    {"VT_UI4", VT_UI4, "unsigned 32 bit"},
    {"VT_I1", VT_I1, "signed 8 bit"},
    {"VT_I2", VT_I2, "signed 16 bit"},
    {"VT_I4", VT_I4, "signed 32 bit"},
    {"VT_R4", VT_R4, "32 bit float"},
    {"VT_BOOL ARRAY", VT_ARRAY | VT_BOOL, "boolean array"},
    {"VT_UI1 ARRAY", VT_ARRAY | VT_UI1, "unsigned 8 bit array"},
    {"VT_UI2 ARRAY", VT_ARRAY | VT_UI2, "unsigned 16 bit array"},
    {"VT_UI4 ARRAY", VT_ARRAY | VT_UI4, "unsigned 32 bit array"},
    {"VT_I1 ARRAY", VT_ARRAY | VT_I1, "signed 8 bit array"},
    {"VT_I2 ARRAY", VT_ARRAY | VT_I2, "signed 16 bit array"},
    {"VT_I4 ARRAY", VT_ARRAY | VT_I4, "signed 32 bit array"},
    {"VT_R4 ARRAY", VT_ARRAY | VT_R4, "32 bit float array"},
    {"VT_BSTR", VT_BSTR, "string"},
    // Accepted by the servers, never offered by the editor.
    {"VT_INT", VT_INT, ""},
    {"VT_UINT", VT_UINT, ""},
    {"VT_R8", VT_R8, ""},
    {"VT_DATE", VT_DATE, ""},
    {"VT_DECIMAL", VT_DECIMAL, ""},
    {"VT_CY", VT_CY, ""},
    {"VT_BSTR ARRAY", VT_ARRAY | VT_BSTR, ""},
    {"VT_INT ARRAY", VT_ARRAY | VT_INT, ""},
    {"VT_UINT ARRAY", VT_ARRAY | VT_UINT, ""},
    {"VT_R8 ARRAY", VT_ARRAY | VT_R8, ""},
    {"VT_DATE ARRAY", VT_ARRAY | VT_DATE, ""},
    {"VT_DECIMAL ARRAY", VT_ARRAY | VT_DECIMAL, ""},
    {"VT_CY ARRAY", VT_ARRAY | VT_CY, ""},
}};

constexpr std::size_t kOfferedCount = 17;

}  // namespace

std::span<const DataTypeName> dataTypeNames() { return kNames; }

std::span<const DataTypeName> offeredDataTypes() { return std::span(kNames).first(kOfferedCount); }

VarType dataTypeFromName(std::string_view text)
{
    for (const auto& entry : kNames)
        if (entry.vtName == text) return entry.varType;
    return VT_EMPTY;
}

uint8_t elementBits(const DataTypeName& type)
{
    if (type.displayName.empty()) return 0;
    switch (baseType(type.varType)) {
        case VT_BOOL:
            return 1;
        case VT_I1:
        case VT_UI1:
        case VT_BSTR:
            return 8;
        case VT_I2:
        case VT_UI2:
            return 16;
        case VT_I4:
        case VT_UI4:
        case VT_R4:
            return 32;
        default:
            return 0;
    }
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
