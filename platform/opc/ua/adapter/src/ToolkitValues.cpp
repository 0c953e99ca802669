#include "opcua/ToolkitValues.h"

namespace orva::opcua {
namespace {

constexpr uint32_t kBaseDataType = 24;

using orva::baseType;

// One element of the base type, read through the accessor that fits it.
template <class GetInt, class GetDouble, class GetString>
Scalar element(BuiltinType type, GetInt getInt, GetDouble getDouble, GetString getString)
{
    switch (type) {
        case BuiltinType::Boolean:
            return int64_t{getInt() != 0};
        case BuiltinType::SByte:
        case BuiltinType::Int16:
        case BuiltinType::Int32:
            return getInt();
        case BuiltinType::Byte:
        case BuiltinType::UInt16:
        case BuiltinType::UInt32:
            return static_cast<uint64_t>(getInt());
        case BuiltinType::Float:
        case BuiltinType::Double:
            return getDouble();
        case BuiltinType::String:
            return getString();
        default:
            return std::monostate{};
    }
}

int64_t asInt(const Scalar& s)
{
    if (const auto* i = std::get_if<int64_t>(&s)) return *i;
    if (const auto* u = std::get_if<uint64_t>(&s)) return static_cast<int64_t>(*u);
    if (const auto* d = std::get_if<double>(&s)) return static_cast<int64_t>(*d);
    return 0;
}

double asDouble(const Scalar& s)
{
    if (const auto* d = std::get_if<double>(&s)) return *d;
    if (const auto* i = std::get_if<int64_t>(&s)) return static_cast<double>(*i);
    if (const auto* u = std::get_if<uint64_t>(&s)) return static_cast<double>(*u);
    return 0;
}

const std::string& asString(const Scalar& s)
{
    static const std::string empty;
    const auto* t = std::get_if<std::string>(&s);
    return t ? *t : empty;
}

VarType varTypeOf(BuiltinType type)
{
    switch (type) {
        case BuiltinType::Boolean:
            return orva::VT_BOOL;
        case BuiltinType::SByte:
            return orva::VT_I1;
        case BuiltinType::Byte:
            return orva::VT_UI1;
        case BuiltinType::Int16:
            return orva::VT_I2;
        case BuiltinType::UInt16:
            return orva::VT_UI2;
        case BuiltinType::Int32:
            return orva::VT_I4;
        case BuiltinType::UInt32:
            return orva::VT_UI4;
        case BuiltinType::Float:
            return orva::VT_R4;
        case BuiltinType::Double:
            return orva::VT_R8;
        case BuiltinType::String:
            return orva::VT_BSTR;
        default:
            return orva::VT_EMPTY;
    }
}

}  // namespace

BuiltinType builtinOfVarType(uint16_t varType)
{
    switch (orva::baseType(varType)) {
        case orva::VT_BOOL:
            return BuiltinType::Boolean;
        case orva::VT_I1:
            return BuiltinType::SByte;
        case orva::VT_UI1:
            return BuiltinType::Byte;
        case orva::VT_I2:
            return BuiltinType::Int16;
        case orva::VT_UI2:
            return BuiltinType::UInt16;
        case orva::VT_I4:
        case orva::VT_INT:
            return BuiltinType::Int32;
        case orva::VT_UI4:
        case orva::VT_UINT:
            return BuiltinType::UInt32;
        case orva::VT_R4:
            return BuiltinType::Float;
        case orva::VT_R8:
            return BuiltinType::Double;
        case orva::VT_BSTR:
            return BuiltinType::String;
        case orva::VT_DATE:
            return BuiltinType::DateTimeType;
        default:
            return BuiltinType::Null;
    }
}

NodeId dataTypeOfVarType(uint16_t varType)
{
    // The DataType node ids of the built-in types equal their type numbers.
    const BuiltinType t = builtinOfVarType(varType);
    return NodeId::num(t == BuiltinType::Null ? kBaseDataType : static_cast<uint32_t>(t));
}

StatusCode statusFromQuality(uint8_t quality)
{
    switch (quality) {
        case 0xC0:
            return status::Good;
        case 0x40:
            return status::Uncertain;
        case 0x1C:
            return status::BadOutOfService;
        case 0x0C:
            return status::BadDeviceFailure;
        case 0x18:
            return status::BadCommunicationError;
        case 0x00:
            return status::Bad;
        default:
            break;
    }
    if ((quality & 0xC0) == 0xC0) return status::Good;
    if ((quality & 0xC0) == 0x40) return status::Uncertain;
    return status::Bad;
}

Variant toUaVariant(const opc::SOCmnVariant& value)
{
    const VarType vt = value.getType();
    const BuiltinType type = builtinOfVarType(vt);
    if (value.isEmpty() || varTypeOf(type) == orva::VT_EMPTY) return {};
    if (!value.isArray()) {
        return Variant::of(type, element(
                                     type, [&] { return value.toInt64(); }, [&] { return value.toDouble(); },
                                     [&] { return value.toUtf8(); }));
    }
    const size_t n = value.getArrayLength();
    std::vector<Scalar> elements;
    elements.reserve(n);
    for (size_t i = 0; i < n; ++i)
        elements.push_back(element(
            type, [&] { return value.getArrayInt(i); }, [&] { return value.getArrayDouble(i); },
            [&] { return orva::opc::utf16ToUtf8(value.getArrayString(i)); }));
    return Variant::arrayOf(type, std::move(elements));
}

bool toToolkitVariant(const Variant& value, opc::SOCmnVariant& out)
{
    const VarType vt = varTypeOf(value.type);
    if (vt == orva::VT_EMPTY || !value.dimensions.empty()) return false;
    out.clear();
    if (value.isArray) {
        if (!out.initArray(vt, value.array.size())) return false;
        for (size_t i = 0; i < value.array.size(); ++i) {
            const Scalar& s = value.array[i];
            bool ok = true;
            if (vt == orva::VT_BOOL)
                ok = out.setArrayBool(i, asInt(s) != 0);
            else if (vt == orva::VT_R4 || vt == orva::VT_R8)
                ok = out.setArrayDouble(i, asDouble(s));
            else if (vt == orva::VT_BSTR)
                ok = out.setArrayString(i, orva::opc::utf8ToUtf16(asString(s)));
            else
                ok = out.setArrayInt(i, asInt(s));
            if (!ok) return false;
        }
        return true;
    }
    const Scalar& s = value.scalar;
    switch (vt) {
        case orva::VT_BOOL:
            out.setBool(asInt(s) != 0);
            break;
        case orva::VT_I1:
            out.setI1(static_cast<int8_t>(asInt(s)));
            break;
        case orva::VT_UI1:
            out.setUI1(static_cast<uint8_t>(asInt(s)));
            break;
        case orva::VT_I2:
            out.setI2(static_cast<int16_t>(asInt(s)));
            break;
        case orva::VT_UI2:
            out.setUI2(static_cast<uint16_t>(asInt(s)));
            break;
        case orva::VT_I4:
            out.setI4(static_cast<int32_t>(asInt(s)));
            break;
        case orva::VT_UI4:
            out.setUI4(static_cast<uint32_t>(asInt(s)));
            break;
        case orva::VT_R4:
            out.setR4(static_cast<float>(asDouble(s)));
            break;
        case orva::VT_R8:
            out.setR8(asDouble(s));
            break;
        case orva::VT_BSTR:
            out.setStringUtf8(asString(s));
            break;
        default:
            return false;
    }
    return true;
}

DateTime toUaDateTime(opc::TimeStamp t)
{
    if (t == opc::TimeStamp{}) return 0;
    return toDateTime(t);
}

}  // namespace orva::opcua
