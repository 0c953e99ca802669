#include "mqtt/SparkplugPayload.h"

#include <cstring>
#include <deque>
#include <memory>

#include "sparkplug_b.pb-c.h"

namespace orva::mqtt::sparkplug {
namespace {

using PbPayload = Orva__Sparkplug__Payload;
using PbMetric = Orva__Sparkplug__Payload__Metric;
using PbPropertySet = Orva__Sparkplug__Payload__PropertySet;
using PbPropertyValue = Orva__Sparkplug__Payload__PropertyValue;

std::uint32_t arrayTypeOf(VarType base)
{
    switch (base) {
        case orva::VT_I1:
            return datatype::Int8Array;
        case orva::VT_UI1:
            return datatype::UInt8Array;
        case orva::VT_I2:
            return datatype::Int16Array;
        case orva::VT_UI2:
            return datatype::UInt16Array;
        case orva::VT_I4:
        case orva::VT_INT:
            return datatype::Int32Array;
        case orva::VT_UI4:
        case orva::VT_UINT:
            return datatype::UInt32Array;
        case orva::VT_R4:
            return datatype::FloatArray;
        case orva::VT_R8:
            return datatype::DoubleArray;
        case orva::VT_BOOL:
            return datatype::BooleanArray;
        case orva::VT_BSTR:
            return datatype::StringArray;
        default:
            return 0;
    }
}

// Bytes per element of a packed numeric array type; 0 for the others.
std::size_t arrayElementSize(std::uint32_t type)
{
    switch (type) {
        case datatype::Int8Array:
        case datatype::UInt8Array:
            return 1;
        case datatype::Int16Array:
        case datatype::UInt16Array:
            return 2;
        case datatype::Int32Array:
        case datatype::UInt32Array:
        case datatype::FloatArray:
            return 4;
        case datatype::Int64Array:
        case datatype::UInt64Array:
        case datatype::DoubleArray:
            return 8;
        default:
            return 0;
    }
}

void putLittleEndian(std::string& out, std::uint64_t bits, std::size_t size)
{
    for (std::size_t i = 0; i < size; ++i)
        out += static_cast<char>((bits >> (8 * i)) & 0xFF);
}

std::uint64_t getLittleEndian(const std::uint8_t* in, std::size_t size)
{
    std::uint64_t bits = 0;
    for (std::size_t i = 0; i < size; ++i)
        bits |= static_cast<std::uint64_t>(in[i]) << (8 * i);
    return bits;
}

// Packed little-endian elements; booleans as a 32-bit count and bits from the most significant
// bit of each byte; strings each ended by a zero byte.
std::string packArray(std::uint32_t type, const opc::SOCmnVariant& value)
{
    std::string out;
    const std::size_t n = value.getArrayLength();
    if (type == datatype::BooleanArray) {
        putLittleEndian(out, n, 4);
        std::string bits((n + 7) / 8, '\0');
        for (std::size_t i = 0; i < n; ++i)
            if (value.getArrayInt(i) != 0) bits[i / 8] = static_cast<char>(bits[i / 8] | (0x80 >> (i % 8)));
        return out + bits;
    }
    if (type == datatype::StringArray) {
        for (std::size_t i = 0; i < n; ++i) {
            out += opc::utf16ToUtf8(value.getArrayString(i));
            out += '\0';
        }
        return out;
    }
    const std::size_t size = arrayElementSize(type);
    for (std::size_t i = 0; i < n; ++i) {
        std::uint64_t bits = 0;
        if (type == datatype::FloatArray) {
            const float f = static_cast<float>(value.getArrayDouble(i));
            std::uint32_t b = 0;
            std::memcpy(&b, &f, 4);
            bits = b;
        } else if (type == datatype::DoubleArray) {
            const double d = value.getArrayDouble(i);
            std::memcpy(&bits, &d, 8);
        } else {
            bits = static_cast<std::uint64_t>(value.getArrayInt(i));
        }
        putLittleEndian(out, bits, size);
    }
    return out;
}

bool isSignedArray(std::uint32_t type)
{
    return type == datatype::Int8Array || type == datatype::Int16Array || type == datatype::Int32Array ||
           type == datatype::Int64Array;
}

// The toolkit value of a packed array; empty when the bytes do not fit the type.
opc::SOCmnVariant unpackArray(std::uint32_t type, const std::uint8_t* data, std::size_t length)
{
    opc::SOCmnVariant v;
    if (type == datatype::BooleanArray) {
        if (length < 4) return v;
        const std::uint64_t count = getLittleEndian(data, 4);
        if (count > (length - 4) * 8 || count > 65536) return v;
        v.initArray(orva::VT_BOOL, count);
        for (std::size_t i = 0; i < count; ++i)
            v.setArrayBool(i, (data[4 + i / 8] & (0x80 >> (i % 8))) != 0);
        return v;
    }
    if (type == datatype::StringArray) {
        std::vector<std::u16string> strings;
        std::size_t start = 0;
        for (std::size_t i = 0; i < length; ++i) {
            if (data[i] != 0) continue;
            strings.push_back(
                opc::utf8ToUtf16(std::string_view(reinterpret_cast<const char*>(data) + start, i - start)));
            start = i + 1;
        }
        if (start != length || strings.size() > 65536) return v;
        v.initArray(orva::VT_BSTR, strings.size());
        for (std::size_t i = 0; i < strings.size(); ++i)
            v.setArrayString(i, std::move(strings[i]));
        return v;
    }
    const std::size_t size = arrayElementSize(type);
    if (size == 0 || length % size != 0 || length / size > 65536) return v;
    const std::size_t count = length / size;
    v.initArray(orva::VT_R8, count);
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint64_t bits = getLittleEndian(data + i * size, size);
        double element = 0;
        if (type == datatype::FloatArray) {
            float f = 0;
            const auto b = static_cast<std::uint32_t>(bits);
            std::memcpy(&f, &b, 4);
            element = f;
        } else if (type == datatype::DoubleArray) {
            std::memcpy(&element, &bits, 8);
        } else if (isSignedArray(type)) {
            const unsigned shift = static_cast<unsigned>(64 - 8 * size);
            element = static_cast<double>(static_cast<std::int64_t>(bits << shift) >> shift);
        } else {
            element = static_cast<double>(bits);
        }
        v.setArrayDouble(i, element);
    }
    return v;
}

// Keeps the strings and sub-messages of one payload alive until it is packed.
struct Builder {
    std::deque<std::string> strings;
    std::deque<PbMetric> metrics;
    std::deque<PbPropertySet> sets;
    std::deque<PbPropertyValue> values;
    std::deque<PbPropertyValue*> valuePointers;
    std::deque<char*> keyPointers;

    char* text(std::string s)
    {
        strings.push_back(std::move(s));
        return strings.back().data();
    }

    void setValue(PbMetric& m, const Metric& source)
    {
        if (source.longValue) {
            m.value_case = ORVA__SPARKPLUG__PAYLOAD__METRIC__VALUE_LONG_VALUE;
            m.long_value = *source.longValue;
            return;
        }
        const opc::SOCmnVariant& v = source.value;
        if (v.isEmpty()) {
            m.has_is_null = true;
            m.is_null = true;
            return;
        }
        switch (source.datatype) {
            case datatype::Boolean:
                m.value_case = ORVA__SPARKPLUG__PAYLOAD__METRIC__VALUE_BOOLEAN_VALUE;
                m.boolean_value = v.toInt64() != 0;
                return;
            case datatype::Int8:
            case datatype::Int16:
            case datatype::Int32:
                m.value_case = ORVA__SPARKPLUG__PAYLOAD__METRIC__VALUE_INT_VALUE;
                m.int_value = static_cast<std::uint32_t>(static_cast<std::int32_t>(v.toInt64()));
                return;
            case datatype::UInt8:
            case datatype::UInt16:
                m.value_case = ORVA__SPARKPLUG__PAYLOAD__METRIC__VALUE_INT_VALUE;
                m.int_value = static_cast<std::uint32_t>(v.toInt64());
                return;
            case datatype::UInt32:
            case datatype::Int64:
            case datatype::UInt64:
                m.value_case = ORVA__SPARKPLUG__PAYLOAD__METRIC__VALUE_LONG_VALUE;
                m.long_value = static_cast<std::uint64_t>(v.toInt64());
                return;
            case datatype::Float:
                m.value_case = ORVA__SPARKPLUG__PAYLOAD__METRIC__VALUE_FLOAT_VALUE;
                m.float_value = static_cast<float>(v.toDouble());
                return;
            case datatype::Double:
                m.value_case = ORVA__SPARKPLUG__PAYLOAD__METRIC__VALUE_DOUBLE_VALUE;
                m.double_value = v.toDouble();
                return;
            case datatype::String:
                m.value_case = ORVA__SPARKPLUG__PAYLOAD__METRIC__VALUE_STRING_VALUE;
                m.string_value = text(opc::utf16ToUtf8(v.getString()));
                return;
            default:
                break;
        }
        if (v.isArray()) {
            std::string& bytes = strings.emplace_back(packArray(source.datatype, v));
            m.value_case = ORVA__SPARKPLUG__PAYLOAD__METRIC__VALUE_BYTES_VALUE;
            m.bytes_value.len = bytes.size();
            m.bytes_value.data = reinterpret_cast<std::uint8_t*>(bytes.data());
        } else {
            m.has_is_null = true;
            m.is_null = true;
        }
    }

    void setQuality(PbMetric& m, std::int32_t quality)
    {
        PbPropertyValue& value = values.emplace_back();
        orva__sparkplug__payload__property_value__init(&value);
        value.has_type = true;
        value.type = datatype::Int32;
        value.value_case = ORVA__SPARKPLUG__PAYLOAD__PROPERTY_VALUE__VALUE_INT_VALUE;
        value.int_value = static_cast<std::uint32_t>(quality);
        valuePointers.push_back(&value);
        keyPointers.push_back(text("Quality"));
        PbPropertySet& set = sets.emplace_back();
        orva__sparkplug__payload__property_set__init(&set);
        set.n_keys = 1;
        set.keys = &keyPointers.back();
        set.n_values = 1;
        set.values = &valuePointers.back();
        m.properties = &set;
    }
};

}  // namespace

std::uint32_t dataTypeOf(VarType nativeType)
{
    if (orva::isArrayType(nativeType)) return arrayTypeOf(orva::baseType(nativeType));
    switch (nativeType) {
        case orva::VT_BOOL:
            return datatype::Boolean;
        case orva::VT_I1:
            return datatype::Int8;
        case orva::VT_UI1:
            return datatype::UInt8;
        case orva::VT_I2:
            return datatype::Int16;
        case orva::VT_UI2:
            return datatype::UInt16;
        case orva::VT_I4:
        case orva::VT_INT:
            return datatype::Int32;
        case orva::VT_UI4:
        case orva::VT_UINT:
            return datatype::UInt32;
        case orva::VT_R4:
            return datatype::Float;
        case orva::VT_R8:
            return datatype::Double;
        case orva::VT_BSTR:
            return datatype::String;
        default:
            return 0;
    }
}

std::string encodePayload(std::uint64_t timestamp, std::optional<std::uint64_t> seq,
                          const std::vector<Metric>& metrics)
{
    Builder builder;
    std::vector<PbMetric*> pointers;
    pointers.reserve(metrics.size());
    for (const Metric& source : metrics) {
        PbMetric& m = builder.metrics.emplace_back();
        orva__sparkplug__payload__metric__init(&m);
        if (!source.name.empty()) m.name = builder.text(source.name);
        if (source.alias) {
            m.has_alias = true;
            m.alias = *source.alias;
        }
        m.has_timestamp = true;
        m.timestamp = source.timestamp;
        m.has_datatype = true;
        m.datatype = source.datatype;
        if (source.historical) {
            m.has_is_historical = true;
            m.is_historical = true;
        }
        builder.setValue(m, source);
        if (source.quality) builder.setQuality(m, *source.quality);
        pointers.push_back(&m);
    }
    PbPayload payload;
    orva__sparkplug__payload__init(&payload);
    payload.has_timestamp = true;
    payload.timestamp = timestamp;
    payload.n_metrics = pointers.size();
    payload.metrics = pointers.data();
    if (seq) {
        payload.has_seq = true;
        payload.seq = *seq;
    }
    std::string out(orva__sparkplug__payload__get_packed_size(&payload), '\0');
    orva__sparkplug__payload__pack(&payload, reinterpret_cast<std::uint8_t*>(out.data()));
    return out;
}

std::optional<std::vector<ReceivedMetric>> decodeCommand(std::string_view bytes)
{
    if (bytes.size() > kMaxCommandPayload) return std::nullopt;
    const std::unique_ptr<PbPayload, void (*)(PbPayload*)> payload(
        orva__sparkplug__payload__unpack(nullptr, bytes.size(),
                                         reinterpret_cast<const std::uint8_t*>(bytes.data())),
        [](PbPayload* p) {
            if (p != nullptr) orva__sparkplug__payload__free_unpacked(p, nullptr);
        });
    if (!payload || payload->n_metrics > kMaxCommandMetrics) return std::nullopt;
    std::vector<ReceivedMetric> metrics;
    for (std::size_t i = 0; i < payload->n_metrics; ++i) {
        const PbMetric& m = *payload->metrics[i];
        ReceivedMetric r;
        if (m.name != nullptr) r.name = m.name;
        if (m.has_alias) r.alias = m.alias;
        r.datatype = m.has_datatype ? m.datatype : 0;
        const bool isNull = m.has_is_null && m.is_null;
        switch (isNull ? ORVA__SPARKPLUG__PAYLOAD__METRIC__VALUE__NOT_SET : m.value_case) {
            case ORVA__SPARKPLUG__PAYLOAD__METRIC__VALUE_INT_VALUE:
                if (r.datatype == datatype::Int8 || r.datatype == datatype::Int16 ||
                    r.datatype == datatype::Int32)
                    r.value.setI4(static_cast<std::int32_t>(m.int_value));
                else
                    r.value.setUI4(m.int_value);
                break;
            case ORVA__SPARKPLUG__PAYLOAD__METRIC__VALUE_LONG_VALUE:
                if (r.datatype == datatype::Int64 && static_cast<std::int64_t>(m.long_value) >= INT32_MIN &&
                    static_cast<std::int64_t>(m.long_value) <= INT32_MAX)
                    r.value.setI4(static_cast<std::int32_t>(static_cast<std::int64_t>(m.long_value)));
                else if (r.datatype == datatype::Int64)
                    r.value.setR8(static_cast<double>(static_cast<std::int64_t>(m.long_value)));
                else if (m.long_value <= UINT32_MAX)
                    r.value.setUI4(static_cast<std::uint32_t>(m.long_value));
                else
                    r.value.setR8(static_cast<double>(m.long_value));
                break;
            case ORVA__SPARKPLUG__PAYLOAD__METRIC__VALUE_FLOAT_VALUE:
                r.value.setR4(m.float_value);
                break;
            case ORVA__SPARKPLUG__PAYLOAD__METRIC__VALUE_DOUBLE_VALUE:
                r.value.setR8(m.double_value);
                break;
            case ORVA__SPARKPLUG__PAYLOAD__METRIC__VALUE_BOOLEAN_VALUE:
                r.value.setBool(m.boolean_value != 0);
                break;
            case ORVA__SPARKPLUG__PAYLOAD__METRIC__VALUE_STRING_VALUE:
                r.value.setStringUtf8(m.string_value != nullptr ? m.string_value : "");
                break;
            case ORVA__SPARKPLUG__PAYLOAD__METRIC__VALUE_BYTES_VALUE:
                r.value = unpackArray(r.datatype, m.bytes_value.data, m.bytes_value.len);
                break;
            default:
                break;
        }
        metrics.push_back(std::move(r));
    }
    return metrics;
}

}  // namespace orva::mqtt::sparkplug
