#pragma once
// A value with its VARTYPE, as OPC DA carries it: scalars of every native type, strings as UTF-16
// code units (one per character for the 8-bit strings of the PLC), and one-dimensional arrays
// with lower bound 0 (type VT_ARRAY | base). VT_BOOL is stored as VARIANT_BOOL (-1 true, 0 false).

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "opc/SOCmnString.h"
#include "opc/Types.h"

namespace orva::opc {

inline constexpr int16_t VARIANT_TRUE = -1;
inline constexpr int16_t VARIANT_FALSE = 0;

class SOCmnVariant {
public:
    SOCmnVariant() = default;

    VarType getType() const noexcept { return vt_; }
    bool isEmpty() const noexcept { return vt_ == orva::VT_EMPTY; }
    bool isArray() const noexcept { return orva::isArrayType(vt_); }
    void clear() noexcept;

    // Scalars.
    void setBool(bool v);
    void setI1(int8_t v);
    void setUI1(uint8_t v);
    void setI2(int16_t v);
    void setUI2(uint16_t v);
    void setI4(int32_t v);
    void setUI4(uint32_t v);
    void setInt(int32_t v);
    void setUInt(uint32_t v);
    void setR4(float v);
    void setR8(double v);
    void setDate(double v);       // OLE date, days since 1899-12-30
    void setCurrency(int64_t v);  // scaled by 10000
    void setString(std::u16string v);
    void setStringUtf8(std::string_view utf8);

    // Reading scalars of any numeric type (VT_BOOL gives -1 or 0, VT_CY its scaled integer);
    // strings and arrays give 0. The value is not range-checked: callers cut it to their width.
    int64_t toInt64() const noexcept;
    double toDouble() const noexcept;
    bool toBool() const noexcept { return toInt64() != 0; }
    // The string of a VT_BSTR, empty otherwise.
    const std::u16string& getString() const noexcept;
    std::string toUtf8() const { return utf16ToUtf8(getString()); }

    // Arrays: count elements of the base type, zero-filled (empty strings for VT_BSTR).
    // False for a base type that cannot form an array (VT_EMPTY or an array type).
    bool initArray(VarType baseType, std::size_t count);
    std::size_t getArrayLength() const noexcept;
    int32_t getArrayLowerBound() const noexcept { return 0; }
    // Keeps the first elements, zero-fills new ones.
    bool resizeArray(std::size_t count);
    int64_t getArrayInt(std::size_t index) const noexcept;          // 0 out of range
    double getArrayDouble(std::size_t index) const noexcept;        // 0 out of range
    std::u16string getArrayString(std::size_t index) const;         // empty out of range
    bool setArrayInt(std::size_t index, int64_t value) noexcept;    // cut to the element width
    bool setArrayDouble(std::size_t index, double value) noexcept;  // integer types: truncated
    bool setArrayBool(std::size_t index, bool value) noexcept;
    bool setArrayString(std::size_t index, std::u16string value);

    // Converts to the target type as the toolkit does for client writes: numbers between
    // numeric types with range check (DISP_E_OVERFLOW), numbers to and from strings, arrays
    // element by element. DISP_E_TYPEMISMATCH when no conversion exists.
    HRESULT changeType(VarType target, SOCmnVariant& out) const;

    // Same type and same content (floating point compared bit for bit).
    bool operator==(const SOCmnVariant& o) const noexcept;
    bool operator!=(const SOCmnVariant& o) const noexcept { return !(*this == o); }

    // Bytes per array element of a base type; 0 for types that do not form numeric arrays.
    static std::size_t elementSize(VarType baseType) noexcept;

private:
    template <class T>
    void setScalar(VarType vt, T v);

    VarType vt_ = orva::VT_EMPTY;
    uint64_t bits_ = 0;  // scalar payload
    std::variant<std::monostate, std::u16string, std::vector<uint8_t>, std::vector<std::u16string>> data_;
};

}  // namespace orva::opc
