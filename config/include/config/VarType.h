#pragma once
// OLE Automation VARTYPE numbers: the native data types of published tags. The configuration
// file names them (see DataTypes.h) and the servers' variants carry them.

#include <cstdint>

namespace orva {

using VarType = uint16_t;

inline constexpr VarType VT_EMPTY = 0;
inline constexpr VarType VT_I2 = 2;
inline constexpr VarType VT_I4 = 3;
inline constexpr VarType VT_R4 = 4;
inline constexpr VarType VT_R8 = 5;
inline constexpr VarType VT_CY = 6;
inline constexpr VarType VT_DATE = 7;
inline constexpr VarType VT_BSTR = 8;
inline constexpr VarType VT_BOOL = 11;
inline constexpr VarType VT_DECIMAL = 14;
inline constexpr VarType VT_I1 = 16;
inline constexpr VarType VT_UI1 = 17;
inline constexpr VarType VT_UI2 = 18;
inline constexpr VarType VT_UI4 = 19;
inline constexpr VarType VT_INT = 22;
inline constexpr VarType VT_UINT = 23;
inline constexpr VarType VT_ARRAY = 0x2000;

constexpr bool isArrayType(VarType t) { return (t & VT_ARRAY) != 0; }
constexpr VarType baseType(VarType t) { return static_cast<VarType>(t & ~VT_ARRAY); }

}  // namespace orva
