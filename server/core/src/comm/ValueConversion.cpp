#include "core/ValueConversion.h"

#include <cstring>
#include <limits>

#include "core/S7Tag.h"

namespace orva::core {
namespace {

uint16_t readU16(const uint8_t* p)
{
    return static_cast<uint16_t>((p[0] << 8) | p[1]);
}

uint32_t readU32(const uint8_t* p)
{
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | uint32_t{p[3]};
}

float floatFromBits(uint32_t bits)
{
    float f;
    std::memcpy(&f, &bits, 4);
    return f;
}

uint32_t bitsFromFloat(float f)
{
    uint32_t bits;
    std::memcpy(&bits, &f, 4);
    return bits;
}

// Writes the low `size` bytes of v, most significant first, as far as they fit.
void writeBigEndian(std::span<uint8_t> out, std::size_t offset, uint32_t v, std::size_t size)
{
    for (std::size_t i = 0; i < size; ++i) {
        if (offset + i >= out.size()) return;
        out[offset + i] = static_cast<uint8_t>(v >> (8 * (size - 1 - i)));
    }
}

void writeBit(std::span<uint8_t> out, std::size_t bit, bool set)
{
    const std::size_t byte = bit / 8;
    if (byte >= out.size()) return;
    const auto mask = static_cast<uint8_t>(1u << (bit % 8));
    out[byte] = set ? static_cast<uint8_t>(out[byte] | mask) : static_cast<uint8_t>(out[byte] & ~mask);
}

bool readBit(std::span<const uint8_t> in, std::size_t bit)
{
    return (in[bit / 8] & (1u << (bit % 8))) != 0;
}

bool supportedArrayBase(VarType base)
{
    switch (base) {
        case VT_BOOL:
        case VT_I1:
        case VT_UI1:
        case VT_I2:
        case VT_UI2:
        case VT_I4:
        case VT_UI4:
        case VT_R4:
            return true;
        default:
            return false;
    }
}

// A fresh value of the tag's type, as a tag that has never been read offers it.
bool initialValue(const TagLayout& layout, opc::SOCmnVariant& value)
{
    if (isArrayType(layout.type)) return value.initArray(baseType(layout.type), layout.elements);
    switch (layout.type) {
        case VT_BOOL:
            value.setBool(false);
            return true;
        case VT_I1:
            value.setI1(0);
            return true;
        case VT_UI1:
            value.setUI1(0);
            return true;
        case VT_I2:
            value.setI2(0);
            return true;
        case VT_UI2:
            value.setUI2(0);
            return true;
        case VT_I4:
            value.setI4(0);
            return true;
        case VT_UI4:
            value.setUI4(0);
            return true;
        case VT_R4:
            value.setR4(0);
            return true;
        case VT_BSTR:
            value.setString({});
            return true;
        default:
            return false;
    }
}

}  // namespace

TagLayout layoutOf(const S7Tag& tag)
{
    return {tag.getNativeDatatype(), tag.dataBit, tag.elements};
}

std::size_t tagByteLength(const TagLayout& layout)
{
    const std::size_t n = layout.elements;
    switch (layout.type) {
        case VT_BOOL:
            return layout.dataBit < 8 ? 1 : 0;
        case VT_I1:
        case VT_UI1:
            return 1;
        case VT_I2:
        case VT_UI2:
            return 2;
        case VT_I4:
        case VT_UI4:
        case VT_R4:
            return 4;
        case VT_BSTR:
        case VT_ARRAY | VT_I1:
        case VT_ARRAY | VT_UI1:
            return n;
        case VT_ARRAY | VT_I2:
        case VT_ARRAY | VT_UI2:
            return 2 * n;
        case VT_ARRAY | VT_I4:
        case VT_ARRAY | VT_UI4:
        case VT_ARRAY | VT_R4:
            return 4 * n;
        case VT_ARRAY | VT_BOOL:
            return (layout.dataBit + n + 7) / 8;
        default:
            return 0;
    }
}

std::size_t tagByteLength(const S7Tag& tag)
{
    return tagByteLength(layoutOf(tag));
}

std::size_t writeValueSize(const TagLayout& layout, const opc::SOCmnVariant& value)
{
    if (isArrayType(layout.type)) {
        if (!value.isArray() || !supportedArrayBase(baseType(layout.type))) return 0;
        TagLayout own = layout;
        const std::size_t count = value.getArrayLength();
        if (count > std::numeric_limits<uint16_t>::max()) return 0;
        own.elements = static_cast<uint16_t>(count);
        return tagByteLength(own);
    }
    if (layout.type == VT_BSTR) return value.getType() == VT_BSTR ? value.getString().size() : 0;
    if (value.isArray() || value.getType() == VT_BSTR || value.isEmpty()) return 0;
    return tagByteLength(layout);
}

bool bytesToValue(const TagLayout& layout, std::span<const uint8_t> bytes, opc::SOCmnVariant& value)
{
    const std::size_t length = tagByteLength(layout);
    if (length == 0 || bytes.size() < length) return false;
    if (value.getType() != layout.type && !initialValue(layout, value)) return false;
    const uint8_t* p = bytes.data();
    switch (layout.type) {
        case VT_I2:
            value.setI2(static_cast<int16_t>(readU16(p)));
            return true;
        case VT_UI2:
            value.setUI2(readU16(p));
            return true;
        case VT_I4:
            value.setI4(static_cast<int32_t>(readU32(p)));
            return true;
        case VT_UI4:
            value.setUI4(readU32(p));
            return true;
        case VT_R4:
            value.setR4(floatFromBits(readU32(p)));
            return true;
        case VT_I1:
            value.setI1(static_cast<int8_t>(p[0]));
            return true;
        case VT_UI1:
            value.setUI1(p[0]);
            return true;
        case VT_BOOL:
            value.setBool(readBit(bytes, layout.dataBit));
            return true;
        case VT_BSTR: {
            std::u16string text(layout.elements, u'\0');
            for (std::size_t i = 0; i < text.size(); ++i)
                text[i] = p[i];
            value.setString(std::move(text));
            return true;
        }
        default:
            break;
    }
    const VarType base = baseType(layout.type);
    if (!isArrayType(layout.type) || !supportedArrayBase(base)) return false;
    const std::size_t count = layout.elements;
    if (value.getArrayLength() != count && !value.resizeArray(count)) return false;
    for (std::size_t k = 0; k < count; ++k) {
        switch (base) {
            case VT_BOOL:
                value.setArrayBool(k, readBit(bytes, layout.dataBit + k));
                break;
            case VT_I1:
                value.setArrayInt(k, static_cast<int8_t>(p[k]));
                break;
            case VT_UI1:
                value.setArrayInt(k, p[k]);
                break;
            case VT_I2:
                value.setArrayInt(k, static_cast<int16_t>(readU16(p + 2 * k)));
                break;
            case VT_UI2:
                value.setArrayInt(k, readU16(p + 2 * k));
                break;
            case VT_I4:
                value.setArrayInt(k, static_cast<int32_t>(readU32(p + 4 * k)));
                break;
            case VT_UI4:
                value.setArrayInt(k, readU32(p + 4 * k));
                break;
            case VT_R4:
                value.setArrayDouble(k, floatFromBits(readU32(p + 4 * k)));
                break;
            default:
                return false;
        }
    }
    return true;
}

void bytesToCache(S7Tag& tag, std::span<const uint8_t> bytes)
{
    auto cache = tag.getCache();
    if (!cache) return;
    opc::SOCmnVariant value;
    cache->getValue(value);
    if (!bytesToValue(layoutOf(tag), bytes, value)) return;
    cache->set(value, opc::OPC_QUALITY_GOOD, nullptr, nullptr, opc::LOCALE_SYSTEM_DEFAULT);
}

void valueToBytes(const TagLayout& layout, const opc::SOCmnVariant& value, std::span<uint8_t> out)
{
    switch (layout.type) {
        case VT_I2:
        case VT_UI2:
            writeBigEndian(out, 0, static_cast<uint32_t>(value.toInt64()), 2);
            return;
        case VT_I4:
        case VT_UI4:
            writeBigEndian(out, 0, static_cast<uint32_t>(value.toInt64()), 4);
            return;
        case VT_R4:
            writeBigEndian(out, 0, bitsFromFloat(static_cast<float>(value.toDouble())), 4);
            return;
        case VT_I1:
        case VT_UI1:
            writeBigEndian(out, 0, static_cast<uint32_t>(value.toInt64()), 1);
            return;
        case VT_BOOL:
            if (layout.dataBit < 8) writeBit(out, layout.dataBit, value.toInt64() != 0);
            return;
        case VT_BSTR: {
            const auto& text = value.getString();
            for (std::size_t i = 0; i < layout.elements && i < out.size(); ++i)
                out[i] = 0;
            for (std::size_t i = 0; i < text.size() && i < out.size(); ++i)
                out[i] = static_cast<uint8_t>(text[i] & 0xFF);
            return;
        }
        default:
            break;
    }
    const VarType base = baseType(layout.type);
    if (!isArrayType(layout.type) || !value.isArray()) return;
    const std::size_t count = value.getArrayLength();
    for (std::size_t k = 0; k < count; ++k) {
        switch (base) {
            case VT_BOOL:
                writeBit(out, layout.dataBit + k, value.getArrayInt(k) != 0);
                break;
            case VT_I1:
            case VT_UI1:
                writeBigEndian(out, k, static_cast<uint32_t>(value.getArrayInt(k)), 1);
                break;
            case VT_I2:
            case VT_UI2:
                writeBigEndian(out, 2 * k, static_cast<uint32_t>(value.getArrayInt(k)), 2);
                break;
            case VT_I4:
            case VT_UI4:
                writeBigEndian(out, 4 * k, static_cast<uint32_t>(value.getArrayInt(k)), 4);
                break;
            case VT_R4:
                writeBigEndian(out, 4 * k, bitsFromFloat(static_cast<float>(value.getArrayDouble(k))), 4);
                break;
            default:
                return;
        }
    }
}

opc::HRESULT admitWrite(const TagLayout& tag, const opc::SOCmnVariant& value, opc::SOElementRange range)
{
    const bool isString = tag.type == VT_BSTR;
    const bool isArray = isArrayType(tag.type);
    const std::size_t length = isString ? value.getString().size() : value.getArrayLength();
    if (!range.isWhole()) {
        if (!isString && !isArray) return opc::E_INVALIDARG;
        if (uint64_t{range.first} + range.count > tag.elements) return opc::E_INVALIDARG;
        if ((isString && value.getType() != VT_BSTR) || (isArray && !value.isArray()))
            return opc::OPC_E_BADTYPE;
        return length == range.count ? opc::S_OK : opc::OPC_E_BADTYPE;
    }
    if (isString && value.getType() == VT_BSTR && length > tag.elements) return opc::OPC_E_RANGE;
    if (isArray && value.isArray() && length != tag.elements) return opc::OPC_E_BADTYPE;
    return opc::S_OK;
}

WriteTarget writeTarget(const S7Tag& tag, opc::SOElementRange range)
{
    WriteTarget target{tag.dataByte, layoutOf(tag)};
    if (range.isWhole()) return target;
    target.layout.elements = static_cast<uint16_t>(range.count);
    if (tag.getNativeDatatype() == (VT_ARRAY | VT_BOOL)) {
        const uint32_t bit = uint32_t{tag.dataBit} + range.first;
        target.dataByte += bit / 8;
        target.layout.dataBit = static_cast<uint16_t>(bit % 8);
        return target;
    }
    // Bytes per element: the byte length of one element of the tag's type.
    TagLayout one = target.layout;
    one.elements = 1;
    target.dataByte += static_cast<uint32_t>(tagByteLength(one)) * range.first;
    return target;
}

uint16_t qualityFromError(int code)
{
    switch (code) {
        case 20:
        case 23:
        case 25:
        case 50:
        case 112:
        case 113:
            return opc::OPC_QUALITY_OUT_OF_SERVICE;
        default:
            break;
    }
    if (code >= 80 && code <= 88) return opc::OPC_QUALITY_DEVICE_FAILURE;
    if (code >= 120 && code <= 124) return opc::OPC_QUALITY_COMM_FAILURE;
    return opc::OPC_QUALITY_BAD;
}

}  // namespace orva::core
