#pragma once
// The built-in data types of the OPC UA binary encoding, as the server keeps them in memory.

#include <array>
#include <chrono>
#include <cstdint>
#include <string>
#include <variant>
#include <vector>

#include "opcua/StatusCodes.h"

namespace orva::opcua {

// 100-nanosecond intervals since 1601-01-01 00:00 UTC; 0 means "no time".
using DateTime = int64_t;
DateTime toDateTime(std::chrono::system_clock::time_point t);
DateTime now();

struct Guid {
    uint32_t data1 = 0;
    uint16_t data2 = 0;
    uint16_t data3 = 0;
    std::array<uint8_t, 8> data4{};
    bool operator==(const Guid&) const = default;
};

struct NodeId {
    enum class Kind : uint8_t { Numeric, String, Guid, Opaque };
    uint16_t ns = 0;
    Kind kind = Kind::Numeric;
    uint32_t numeric = 0;
    std::string text;  // the string, or the bytes of an opaque identifier
    Guid guid{};

    static NodeId num(uint32_t id, uint16_t nsIndex = 0)
    {
        return NodeId{nsIndex, Kind::Numeric, id, {}, {}};
    }
    static NodeId str(std::string id, uint16_t nsIndex = 1)
    {
        return NodeId{nsIndex, Kind::String, 0, std::move(id), {}};
    }
    bool isNull() const { return ns == 0 && kind == Kind::Numeric && numeric == 0; }
    bool isNumeric(uint32_t id, uint16_t nsIndex = 0) const
    {
        return ns == nsIndex && kind == Kind::Numeric && numeric == id;
    }
    bool operator==(const NodeId& o) const
    {
        if (ns != o.ns || kind != o.kind) return false;
        switch (kind) {
            case Kind::Numeric:
                return numeric == o.numeric;
            case Kind::Guid:
                return guid == o.guid;
            default:
                return text == o.text;
        }
    }
    std::string toString() const;
};

struct ExpandedNodeId {
    NodeId id;
    std::string namespaceUri;
    uint32_t serverIndex = 0;
};

struct QualifiedName {
    uint16_t ns = 0;
    std::string name;
    bool operator==(const QualifiedName&) const = default;
};

// Empty locale or text are left out of the encoding.
struct LocalizedText {
    std::string locale;
    std::string text;
    bool operator==(const LocalizedText&) const = default;
};

struct ExtensionObject {
    NodeId typeId;
    uint8_t encoding = 0;  // 0 no body, 1 binary body, 2 XML body
    std::string body;
};

enum class BuiltinType : uint8_t {
    Null = 0,
    Boolean = 1,
    SByte = 2,
    Byte = 3,
    Int16 = 4,
    UInt16 = 5,
    Int32 = 6,
    UInt32 = 7,
    Int64 = 8,
    UInt64 = 9,
    Float = 10,
    Double = 11,
    String = 12,
    DateTimeType = 13,
    Guid = 14,
    ByteString = 15,
    XmlElement = 16,
    NodeId = 17,
    ExpandedNodeId = 18,
    StatusCodeType = 19,
    QualifiedName = 20,
    LocalizedText = 21,
    ExtensionObject = 22,
    DataValue = 23,
    Variant = 24,
    DiagnosticInfo = 25,
};

// One element of a variant. Booleans and signed integers (and DateTime) are held as int64_t,
// unsigned integers and StatusCode as uint64_t, Float and Double as double; String, ByteString
// and XmlElement as std::string. Nested DataValue, Variant and DiagnosticInfo elements are
// decoded for validity but not kept (monostate).
using Scalar = std::variant<std::monostate, int64_t, uint64_t, double, std::string, NodeId, ExpandedNodeId,
                            QualifiedName, LocalizedText, ExtensionObject, Guid>;

struct Variant {
    BuiltinType type = BuiltinType::Null;
    bool isArray = false;
    Scalar scalar;
    std::vector<Scalar> array;
    std::vector<int32_t> dimensions;  // only for multi-dimensional arrays

    bool isNull() const { return type == BuiltinType::Null; }
    size_t size() const { return isArray ? array.size() : (isNull() ? 0 : 1); }

    static Variant of(BuiltinType t, Scalar s)
    {
        Variant v;
        v.type = t;
        v.scalar = std::move(s);
        return v;
    }
    static Variant arrayOf(BuiltinType t, std::vector<Scalar> elements)
    {
        Variant v;
        v.type = t;
        v.isArray = true;
        v.array = std::move(elements);
        return v;
    }
    static Variant boolean(bool b) { return of(BuiltinType::Boolean, int64_t{b}); }
    static Variant int32(int32_t i) { return of(BuiltinType::Int32, int64_t{i}); }
    static Variant uint32(uint32_t i) { return of(BuiltinType::UInt32, uint64_t{i}); }
    static Variant dbl(double d) { return of(BuiltinType::Double, d); }
    static Variant string(std::string s) { return of(BuiltinType::String, std::move(s)); }
    static Variant dateTime(DateTime t) { return of(BuiltinType::DateTimeType, int64_t{t}); }
};

struct DataValue {
    bool hasValue = false;
    Variant value;
    StatusCode status = status::Good;
    DateTime sourceTimestamp = 0;
    DateTime serverTimestamp = 0;

    static DataValue ofStatus(StatusCode s)
    {
        DataValue d;
        d.status = s;
        return d;
    }
    static DataValue ofValue(Variant v, DateTime source = 0, DateTime server = 0)
    {
        DataValue d;
        d.hasValue = true;
        d.value = std::move(v);
        d.sourceTimestamp = source;
        d.serverTimestamp = server;
        return d;
    }
};

}  // namespace orva::opcua
