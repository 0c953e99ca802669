#include "opc/SOCmnVariant.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <type_traits>

namespace orva::opc {

using namespace orva;

namespace {

bool isIntegerType(VarType t)
{
    switch (t) {
        case VT_I1:
        case VT_UI1:
        case VT_I2:
        case VT_UI2:
        case VT_I4:
        case VT_UI4:
        case VT_INT:
        case VT_UINT:
            return true;
        default:
            return false;
    }
}

bool isNumericType(VarType t)
{
    return isIntegerType(t) || t == VT_BOOL || t == VT_R4 || t == VT_R8 || t == VT_DATE || t == VT_CY;
}

// Range of an integer type.
void integerRange(VarType t, int64_t& lo, int64_t& hi)
{
    switch (t) {
        case VT_I1:
            lo = INT8_MIN, hi = INT8_MAX;
            break;
        case VT_UI1:
            lo = 0, hi = UINT8_MAX;
            break;
        case VT_I2:
            lo = INT16_MIN, hi = INT16_MAX;
            break;
        case VT_UI2:
            lo = 0, hi = UINT16_MAX;
            break;
        case VT_I4:
        case VT_INT:
            lo = INT32_MIN, hi = INT32_MAX;
            break;
        default:
            lo = 0, hi = UINT32_MAX;
            break;
    }
}

}  // namespace

void SOCmnVariant::clear() noexcept
{
    vt_ = VT_EMPTY;
    bits_ = 0;
    data_ = std::monostate{};
}

template <class T>
void SOCmnVariant::setScalar(VarType vt, T v)
{
    clear();
    vt_ = vt;
    // Integers are kept sign-extended, so toInt64 reads them back without knowing the width.
    if constexpr (std::is_signed_v<T>)
        bits_ = static_cast<uint64_t>(static_cast<int64_t>(v));
    else
        bits_ = static_cast<uint64_t>(v);
}

void SOCmnVariant::setI1(int8_t v)
{
    setScalar(VT_I1, v);
}
void SOCmnVariant::setUI1(uint8_t v)
{
    setScalar(VT_UI1, v);
}
void SOCmnVariant::setI2(int16_t v)
{
    setScalar(VT_I2, v);
}
void SOCmnVariant::setUI2(uint16_t v)
{
    setScalar(VT_UI2, v);
}
void SOCmnVariant::setI4(int32_t v)
{
    setScalar(VT_I4, v);
}
void SOCmnVariant::setUI4(uint32_t v)
{
    setScalar(VT_UI4, v);
}
void SOCmnVariant::setInt(int32_t v)
{
    setScalar(VT_INT, v);
}
void SOCmnVariant::setUInt(uint32_t v)
{
    setScalar(VT_UINT, v);
}

void SOCmnVariant::setBool(bool v)
{
    setScalar<int16_t>(VT_BOOL, v ? VARIANT_TRUE : VARIANT_FALSE);
}

void SOCmnVariant::setR4(float v)
{
    clear();
    vt_ = VT_R4;
    uint32_t b;
    std::memcpy(&b, &v, 4);
    bits_ = b;
}

void SOCmnVariant::setR8(double v)
{
    clear();
    vt_ = VT_R8;
    std::memcpy(&bits_, &v, 8);
}

void SOCmnVariant::setDate(double v)
{
    setR8(v);
    vt_ = VT_DATE;
}

void SOCmnVariant::setCurrency(int64_t v)
{
    setScalar<int64_t>(VT_CY, v);
}

void SOCmnVariant::setString(std::u16string v)
{
    clear();
    vt_ = VT_BSTR;
    data_ = std::move(v);
}

void SOCmnVariant::setStringUtf8(std::string_view utf8)
{
    setString(utf8ToUtf16(utf8));
}

int64_t SOCmnVariant::toInt64() const noexcept
{
    switch (vt_) {
        case VT_R4:
            return static_cast<int64_t>(toDouble());
        case VT_R8:
        case VT_DATE:
            return static_cast<int64_t>(toDouble());
        case VT_BSTR:
        case VT_EMPTY:
            return 0;
        default:
            return isArray() ? 0 : static_cast<int64_t>(bits_);
    }
}

double SOCmnVariant::toDouble() const noexcept
{
    switch (vt_) {
        case VT_R4: {
            float f;
            const uint32_t b = static_cast<uint32_t>(bits_);
            std::memcpy(&f, &b, 4);
            return f;
        }
        case VT_R8:
        case VT_DATE: {
            double d;
            std::memcpy(&d, &bits_, 8);
            return d;
        }
        case VT_BSTR:
        case VT_EMPTY:
            return 0;
        default:
            return isArray() ? 0 : static_cast<double>(static_cast<int64_t>(bits_));
    }
}

const std::u16string& SOCmnVariant::getString() const noexcept
{
    static const std::u16string empty;
    const auto* s = std::get_if<std::u16string>(&data_);
    return (vt_ == VT_BSTR && s) ? *s : empty;
}

std::size_t SOCmnVariant::elementSize(VarType base) noexcept
{
    switch (base) {
        case VT_I1:
        case VT_UI1:
            return 1;
        case VT_I2:
        case VT_UI2:
        case VT_BOOL:
            return 2;
        case VT_I4:
        case VT_UI4:
        case VT_INT:
        case VT_UINT:
        case VT_R4:
            return 4;
        case VT_R8:
        case VT_DATE:
        case VT_CY:
            return 8;
        case VT_DECIMAL:
            return 16;
        default:
            return 0;
    }
}

bool SOCmnVariant::initArray(VarType base, std::size_t count)
{
    if (base == VT_BSTR) {
        clear();
        vt_ = VT_ARRAY | VT_BSTR;
        data_ = std::vector<std::u16string>(count);
        return true;
    }
    const std::size_t size = elementSize(base);
    if (size == 0) return false;
    clear();
    vt_ = VT_ARRAY | base;
    data_ = std::vector<uint8_t>(count * size, 0);
    return true;
}

std::size_t SOCmnVariant::getArrayLength() const noexcept
{
    if (!isArray()) return 0;
    if (const auto* s = std::get_if<std::vector<std::u16string>>(&data_)) return s->size();
    if (const auto* b = std::get_if<std::vector<uint8_t>>(&data_))
        return b->size() / elementSize(baseType(vt_));
    return 0;
}

bool SOCmnVariant::resizeArray(std::size_t count)
{
    if (!isArray()) return false;
    if (auto* s = std::get_if<std::vector<std::u16string>>(&data_)) {
        s->resize(count);
        return true;
    }
    if (auto* b = std::get_if<std::vector<uint8_t>>(&data_)) {
        b->resize(count * elementSize(baseType(vt_)), 0);
        return true;
    }
    return false;
}

int64_t SOCmnVariant::getArrayInt(std::size_t index) const noexcept
{
    const auto* b = std::get_if<std::vector<uint8_t>>(&data_);
    const VarType base = baseType(vt_);
    const std::size_t size = elementSize(base);
    if (!isArray() || !b || size == 0 || index >= b->size() / size) return 0;
    const uint8_t* p = b->data() + index * size;
    switch (base) {
        case VT_I1:
            return static_cast<int8_t>(*p);
        case VT_UI1:
            return *p;
        case VT_I2:
        case VT_BOOL: {
            int16_t v;
            std::memcpy(&v, p, 2);
            return v;
        }
        case VT_UI2: {
            uint16_t v;
            std::memcpy(&v, p, 2);
            return v;
        }
        case VT_I4:
        case VT_INT: {
            int32_t v;
            std::memcpy(&v, p, 4);
            return v;
        }
        case VT_UI4:
        case VT_UINT: {
            uint32_t v;
            std::memcpy(&v, p, 4);
            return v;
        }
        case VT_CY: {
            int64_t v;
            std::memcpy(&v, p, 8);
            return v;
        }
        case VT_R4:
        case VT_R8:
        case VT_DATE:
            return static_cast<int64_t>(getArrayDouble(index));
        default:
            return 0;
    }
}

double SOCmnVariant::getArrayDouble(std::size_t index) const noexcept
{
    const auto* b = std::get_if<std::vector<uint8_t>>(&data_);
    const VarType base = baseType(vt_);
    const std::size_t size = elementSize(base);
    if (!isArray() || !b || size == 0 || index >= b->size() / size) return 0;
    const uint8_t* p = b->data() + index * size;
    if (base == VT_R4) {
        float v;
        std::memcpy(&v, p, 4);
        return v;
    }
    if (base == VT_R8 || base == VT_DATE) {
        double v;
        std::memcpy(&v, p, 8);
        return v;
    }
    return static_cast<double>(getArrayInt(index));
}

std::u16string SOCmnVariant::getArrayString(std::size_t index) const
{
    const auto* s = std::get_if<std::vector<std::u16string>>(&data_);
    return (s && index < s->size()) ? (*s)[index] : std::u16string();
}

bool SOCmnVariant::setArrayInt(std::size_t index, int64_t value) noexcept
{
    auto* b = std::get_if<std::vector<uint8_t>>(&data_);
    const VarType base = baseType(vt_);
    const std::size_t size = elementSize(base);
    if (!isArray() || !b || size == 0 || index >= b->size() / size) return false;
    uint8_t* p = b->data() + index * size;
    switch (base) {
        case VT_R4: {
            const float v = static_cast<float>(value);
            std::memcpy(p, &v, 4);
            return true;
        }
        case VT_R8:
        case VT_DATE: {
            const double v = static_cast<double>(value);
            std::memcpy(p, &v, 8);
            return true;
        }
        case VT_DECIMAL:
            return false;
        default: {
            // Little-endian host: the low bytes carry the value cut to the element width.
            const uint64_t bits = static_cast<uint64_t>(value);
            std::memcpy(p, &bits, size);
            return true;
        }
    }
}

bool SOCmnVariant::setArrayDouble(std::size_t index, double value) noexcept
{
    auto* b = std::get_if<std::vector<uint8_t>>(&data_);
    const VarType base = baseType(vt_);
    const std::size_t size = elementSize(base);
    if (!isArray() || !b || size == 0 || index >= b->size() / size) return false;
    uint8_t* p = b->data() + index * size;
    if (base == VT_R4) {
        const float v = static_cast<float>(value);
        std::memcpy(p, &v, 4);
        return true;
    }
    if (base == VT_R8 || base == VT_DATE) {
        std::memcpy(p, &value, 8);
        return true;
    }
    if (!std::isfinite(value)) return false;
    return setArrayInt(index, static_cast<int64_t>(value));
}

bool SOCmnVariant::setArrayBool(std::size_t index, bool value) noexcept
{
    return setArrayInt(index, value ? VARIANT_TRUE : VARIANT_FALSE);
}

bool SOCmnVariant::setArrayString(std::size_t index, std::u16string value)
{
    auto* s = std::get_if<std::vector<std::u16string>>(&data_);
    if (!s || index >= s->size()) return false;
    (*s)[index] = std::move(value);
    return true;
}

namespace {

// One scalar conversion; out receives the value of type target.
HRESULT convertScalar(const SOCmnVariant& in, VarType target, SOCmnVariant& out)
{
    const VarType from = in.getType();
    if (target == VT_BSTR) {
        if (from == VT_BSTR) {
            out = in;
        } else if (from == VT_BOOL) {
            out.setStringUtf8(in.toBool() ? "True" : "False");
        } else if (from == VT_R4 || from == VT_R8 || from == VT_DATE) {
            char buf[64];
            std::snprintf(buf, sizeof buf, "%g", in.toDouble());
            out.setStringUtf8(buf);
        } else if (isNumericType(from)) {
            out.setStringUtf8(std::to_string(in.toInt64()));
        } else {
            return DISP_E_TYPEMISMATCH;
        }
        return S_OK;
    }
    if (!isNumericType(target) && target != VT_DECIMAL) return DISP_E_TYPEMISMATCH;
    double d = 0;
    int64_t i = 0;
    bool isFloat = false;
    if (from == VT_BSTR) {
        const std::string text = in.toUtf8();
        if (target == VT_BOOL && (text == "True" || text == "true")) {
            i = -1;
        } else if (target == VT_BOOL && (text == "False" || text == "false")) {
            i = 0;
        } else {
            char* end = nullptr;
            errno = 0;
            d = std::strtod(text.c_str(), &end);
            if (text.empty() || end != text.c_str() + text.size()) return DISP_E_TYPEMISMATCH;
            isFloat = true;
        }
    } else if (from == VT_R4 || from == VT_R8 || from == VT_DATE) {
        d = in.toDouble();
        isFloat = true;
    } else if (isNumericType(from)) {
        i = in.toInt64();
    } else {
        return DISP_E_TYPEMISMATCH;
    }
    switch (target) {
        case VT_R4:
            out.setR4(static_cast<float>(isFloat ? d : static_cast<double>(i)));
            return S_OK;
        case VT_R8:
            out.setR8(isFloat ? d : static_cast<double>(i));
            return S_OK;
        case VT_DATE:
            out.setDate(isFloat ? d : static_cast<double>(i));
            return S_OK;
        case VT_CY:
            out.setCurrency(isFloat ? static_cast<int64_t>(d * 10000) : i * 10000);
            return S_OK;
        case VT_BOOL:
            out.setBool(isFloat ? d != 0 : i != 0);
            return S_OK;
        case VT_DECIMAL:
            return DISP_E_TYPEMISMATCH;
        default:
            break;
    }
    if (isFloat) {
        if (!std::isfinite(d) || d < -9.3e18 || d > 9.3e18) return DISP_E_OVERFLOW;
        i = static_cast<int64_t>(std::llround(d));
    }
    int64_t lo, hi;
    integerRange(target, lo, hi);
    if (i < lo || i > hi) return DISP_E_OVERFLOW;
    switch (target) {
        case VT_I1:
            out.setI1(static_cast<int8_t>(i));
            break;
        case VT_UI1:
            out.setUI1(static_cast<uint8_t>(i));
            break;
        case VT_I2:
            out.setI2(static_cast<int16_t>(i));
            break;
        case VT_UI2:
            out.setUI2(static_cast<uint16_t>(i));
            break;
        case VT_I4:
            out.setI4(static_cast<int32_t>(i));
            break;
        case VT_UI4:
            out.setUI4(static_cast<uint32_t>(i));
            break;
        case VT_INT:
            out.setInt(static_cast<int32_t>(i));
            break;
        case VT_UINT:
            out.setUInt(static_cast<uint32_t>(i));
            break;
        default:
            return DISP_E_TYPEMISMATCH;
    }
    return S_OK;
}

// Element `index` of an array as a scalar variant.
SOCmnVariant arrayElement(const SOCmnVariant& in, std::size_t index)
{
    SOCmnVariant e;
    const VarType base = baseType(in.getType());
    const int64_t i = in.getArrayInt(index);
    switch (base) {
        case VT_BSTR:
            e.setString(in.getArrayString(index));
            break;
        case VT_R4:
            e.setR4(static_cast<float>(in.getArrayDouble(index)));
            break;
        case VT_R8:
            e.setR8(in.getArrayDouble(index));
            break;
        case VT_DATE:
            e.setDate(in.getArrayDouble(index));
            break;
        case VT_BOOL:
            e.setBool(i != 0);
            break;
        case VT_I1:
            e.setI1(static_cast<int8_t>(i));
            break;
        case VT_UI1:
            e.setUI1(static_cast<uint8_t>(i));
            break;
        case VT_I2:
            e.setI2(static_cast<int16_t>(i));
            break;
        case VT_UI2:
            e.setUI2(static_cast<uint16_t>(i));
            break;
        case VT_I4:
            e.setI4(static_cast<int32_t>(i));
            break;
        case VT_UI4:
            e.setUI4(static_cast<uint32_t>(i));
            break;
        case VT_INT:
            e.setInt(static_cast<int32_t>(i));
            break;
        case VT_UINT:
            e.setUInt(static_cast<uint32_t>(i));
            break;
        case VT_CY:
            e.setCurrency(i);
            break;
        default:
            break;
    }
    return e;
}

}  // namespace

HRESULT SOCmnVariant::changeType(VarType target, SOCmnVariant& out) const
{
    if (target == vt_) {
        out = *this;
        return S_OK;
    }
    if (isArrayType(target) != isArray()) return DISP_E_TYPEMISMATCH;
    if (!isArray()) {
        SOCmnVariant result;
        const HRESULT hr = convertScalar(*this, target, result);
        if (SUCCEEDED(hr)) out = std::move(result);
        return hr;
    }
    const VarType base = baseType(target);
    SOCmnVariant result;
    if (!result.initArray(base, getArrayLength())) return DISP_E_TYPEMISMATCH;
    for (std::size_t k = 0; k < getArrayLength(); ++k) {
        SOCmnVariant element;
        const HRESULT hr = convertScalar(arrayElement(*this, k), base, element);
        if (FAILED(hr)) return hr;
        if (base == VT_BSTR)
            result.setArrayString(k, element.getString());
        else if (base == VT_R4 || base == VT_R8 || base == VT_DATE)
            result.setArrayDouble(k, element.toDouble());
        else
            result.setArrayInt(k, element.toInt64());
    }
    out = std::move(result);
    return S_OK;
}

bool SOCmnVariant::operator==(const SOCmnVariant& o) const noexcept
{
    return vt_ == o.vt_ && bits_ == o.bits_ && data_ == o.data_;
}

}  // namespace orva::opc
